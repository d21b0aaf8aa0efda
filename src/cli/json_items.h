#pragma once

namespace orvik {

class JsonWriter;
class Criterion;
class CollectionItem;
class Script;
class CriteriaLibrary;

// The JSON shapes of the command-line tool, shared by its commands.
void WriteCriterionJson(JsonWriter& json, const Criterion& criterion);
void WriteScriptJson(JsonWriter& json, const Script& script);
void WriteItemJson(JsonWriter& json, const CollectionItem& item);
struct CollectionContents;
void WriteCollectionJson(JsonWriter& json, const CollectionContents& contents);
void WriteLibraryJson(JsonWriter& json, const CriteriaLibrary& library);

}  // namespace orvik
