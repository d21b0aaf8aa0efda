#pragma once

// The test station over scripted stand-ins, with the criteria and the script
// the station's tests share.
#include <gtest/gtest.h>

#include "station_fakes.h"

namespace orvik::testing {

// "SE 50" (id 0) and "Diff 100" (id 1, differential), listed in the selector.
class Station : public ::testing::Test, protected StationRig {
  protected:
    Station() {
        Criterion& se = library.AddCriterion();
        se.Name = "SE 50";
        Criterion& diff = library.AddCriterion();
        diff.Name = "Diff 100";
        diff.TargetImpedance = 100;
        diff.RecomputeLimits();
        diff.DoubleEnded = 1;
        selector.FillInListOrder(library);
    }

    const TraceRecord& RecordAt(std::size_t index) {
        return dynamic_cast<const TraceRecord&>(*document.Items().at(index));
    }
};

// A library script with two tests, A on "SE 50" and B on "Diff 100".
class ScriptedStation : public Station {
  protected:
    ScriptedStation() {
        script = &library.AddScript();
        script->Prefix = "LOT7-";
        script->AddElement().CriterionId = library.Criteria[0]->Id;
        script->Elements.back().Postfix = "A";
        script->AddElement().CriterionId = library.Criteria[1]->Id;
        script->Elements.back().Postfix = "B";
    }
    void MeasureAndRecord() {
        station.RunTest(document);
        station.RecordTest(document);
    }
    Script* script;
};

}  // namespace orvik::testing
