#include "cli/json_items.h"

#include "cli/json_writer.h"
#include "collection/orvik_doc.h"
#include "criteria/criteria_library.h"
#include "script/script.h"

namespace orvik {
namespace {

void WriteTraceJson(JsonWriter& json, const TraceRecord& trace) {
    json.Field("type", trace.TypeCode)
        .Field("tag", trace.Tag)
        .Field("name", trace.Name)
        .Field("time", trace.Time)
        .Field("passed", trace.Passed)
        .Field("element_position", trace.ElementPosition)
        .Field("average", trace.Average)
        .Field("deviation", trace.Deviation)
        .Field("maximum", trace.Maximum)
        .Field("minimum", trace.Minimum);
    json.Key("criterion");
    WriteCriterionJson(json, trace.Criteria);
    json.Key("samples").BeginArray();
    for (const TraceSample& sample : trace.Samples) {
        json.BeginArray(true).Value(sample.Position).Value(sample.Impedance).EndArray();
    }
    json.EndArray();
}

void WriteMarkerJson(JsonWriter& json, const CouponMarker& marker) {
    json.Field("type", marker.TypeCode).Field("tag", marker.Tag).Field("serial", marker.Serial);
}

}  // namespace

void WriteCriterionJson(JsonWriter& json, const Criterion& criterion) {
    json.BeginObject()
        .Field("id", criterion.Id)
        .Field("name", criterion.Name)
        .Field("target", criterion.TargetImpedance)
        .Field("error", criterion.AllowableError)
        .Field("maximum", criterion.MaximumImpedance)
        .Field("minimum", criterion.MinimumImpedance)
        .Field("start", criterion.StartPosition)
        .Field("end", criterion.EndPosition)
        .Field("double_ended", criterion.DoubleEnded)
        .EndObject();
}

void WriteScriptJson(JsonWriter& json, const Script& script) {
    json.BeginObject()
        .Field("type", script.TypeCode)
        .Field("tag", script.Tag)
        .Field("script_number", script.ScriptNumber)
        .Field("description", script.Description)
        .Field("prompt_for_serial", script.PromptForSerial)
        .Field("prefix", script.Prefix)
        .Field("customer", script.Customer)
        .Field("job_number", script.JobNumber)
        .Field("station_id", script.StationId)
        .Field("operator", script.Operator)
        .Field("serial_counter", script.SerialCounter);
    json.Key("elements").BeginArray();
    for (const ScriptElement& element : script.Elements) {
        json.BeginObject()
            .Field("criterion_id", element.CriterionId)
            .Field("position", element.Position)
            .Field("postfix", element.Postfix)
            .EndObject();
    }
    json.EndArray().EndObject();
}

void WriteItemJson(JsonWriter& json, const CollectionItem& item) {
    if (const auto* trace = dynamic_cast<const TraceRecord*>(&item)) {
        json.BeginObject();
        WriteTraceJson(json, *trace);
        json.EndObject();
    } else if (const auto* script = dynamic_cast<const Script*>(&item)) {
        WriteScriptJson(json, *script);
    } else if (const auto* marker = dynamic_cast<const CouponMarker*>(&item)) {
        json.BeginObject();
        WriteMarkerJson(json, *marker);
        json.EndObject();
    }
}

void WriteCollectionJson(JsonWriter& json, const CollectionContents& contents) {
    json.BeginObject()
        .Field("file_version", contents.FileVersion)
        .Field("next_sample_number", contents.NextSampleNumber);
    json.Key("items").BeginArray();
    for (const auto& item : contents.Items) {
        WriteItemJson(json, *item);
    }
    json.EndArray().EndObject();
}

void WriteLibraryJson(JsonWriter& json, const CriteriaLibrary& library) {
    const ReportPreferences& p = library.Preferences;
    json.BeginObject().Field("library_version", library.FileVersion);
    json.Key("preferences")
        .BeginObject()
        .Field("company_name", p.CompanyName)
        .Field("address1", p.Address1)
        .Field("address2", p.Address2)
        .Field("telephone", p.Telephone)
        .Field("fax", p.Fax)
        .Field("email", p.Email)
        .Field("web", p.Web)
        .Field("default_prefix", p.DefaultPrefix)
        .Field("default_postfix", p.DefaultPostfix)
        .EndObject();
    json.Field("prompt_for_trace_name", library.PromptForTraceName);
    json.Key("criteria").BeginArray();
    for (const auto& criterion : library.Criteria) {
        WriteCriterionJson(json, *criterion);
    }
    json.EndArray();
    json.Key("scripts").BeginArray();
    for (const auto& script : library.Scripts) {
        WriteScriptJson(json, *script);
    }
    json.EndArray().EndObject();
}

}  // namespace orvik
