// dump, resave and criteria: the data layer seen from outside.
#include <iostream>

#include "base/archive.h"
#include "base/file_store.h"
#include "cli/cli_command.h"
#include "cli/collection_commands.h"
#include "cli/command_library.h"
#include "cli/json_items.h"
#include "cli/json_writer.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"

namespace orvik::cli {
namespace {

void PrintJson(const JsonWriter& json) {
    std::cout << json.Text() << '\n';
}

}  // namespace

int RunDump(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    const std::string path = reader.Word();
    if (!reader.Done()) {
        throw UsageError("unexpected argument " + reader.Peek());
    }
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        throw CommandFailure(std::string(kFailedToOpenDocument) + " " + bytes.Error().Message);
    }
    CollectionContents contents;
    try {
        contents = ReadCollection(*bytes);
    } catch (const ArchiveError& failure) {
        throw CommandFailure(std::string(kUnexpectedFileFormat) + " " + path + ": " +
                             failure.what());
    }
    JsonWriter json;
    WriteCollectionJson(json, contents);
    PrintJson(json);
    return 0;
}

int RunResave(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    const std::string input = reader.Word();
    const std::string output = reader.Word();
    if (!reader.Done()) {
        throw UsageError("unexpected argument " + reader.Peek());
    }
    COrvikDoc document;
    const Status opened = document.Open(input);
    if (!opened) {
        throw CommandFailure(opened.Error().Message + " " + input + ": " + opened.Error().Detail);
    }
    const Status saved = document.SaveAs(output);
    if (!saved) {
        throw CommandFailure(saved.Error().Message + " " + saved.Error().Detail);
    }
    return 0;
}

int RunCriteria(const Arguments& arguments) {
    ArgumentReader reader(arguments);
    const bool named = !reader.Done();
    const std::string path = named ? reader.Word() : std::string(kCriteriaFileName);
    if (!reader.Done()) {
        throw UsageError("unexpected argument " + reader.Peek());
    }
    CriteriaLibrary library;
    // The program starts with an empty library when its criteria.dat is
    // missing; a library asked for by name that is not there is a mistake.
    LoadCommandLibrary(library, path, named ? MissingLibrary::Refused : MissingLibrary::Empty);
    JsonWriter json;
    WriteLibraryJson(json, library);
    PrintJson(json);
    return 0;
}

}  // namespace orvik::cli
