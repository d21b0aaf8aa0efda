// Cost of the recovery journal.
//   What journalling adds to Record Test: filing a 750-sample trace with and
//   without a journal (the write and the flush to the disk included), in the
//   recovery folder's own file system. Target: under 2 ms.
//   Recovery of 10,000 journalled traces: reading the journal and rebuilding
//   the collection. Target: under 2 s.
//   Reading a crafted journal of 240 KB: a list of 4 million items and a
//   removal at its front in every entry, the reader's worst case (what
//   `recover --list` and the start-up question read). Target: under 100 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/file_store.h"
#include "collection/orvik_doc.h"
#include "journal/journal_format.h"
#include "journal/journal_recovery.h"
#include "journal/recovery_journal.h"

namespace {

std::unique_ptr<orvik::TraceRecord> Trace(int seed) {
    std::vector<double> values(orvik::kProfileSampleCount);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = 50.0 + std::sin(0.01 * static_cast<double>(i) + seed) * 2.0;
    }
    auto trace = std::make_unique<orvik::TraceRecord>();
    trace->FillFromAcquisition(nullptr, values, 0);
    trace->Name = "Sample #: " + std::to_string(seed + 1);
    return trace;
}

// Beside the real recovery folder, so that the flush costs what it costs there.
std::string BenchFolder() {
    return orvik::DefaultRecoveryFolder() + "-bench";
}

// Record Test's part in the collection: the copy appended, then the views
// told (which is when the journal writes and flushes).
void FileTrace(orvik::COrvikDoc& document, const orvik::TraceRecord& measured) {
    auto record = std::make_unique<orvik::TraceRecord>(measured);
    document.AppendItem(std::move(record));
    document.SetModified();
    document.UpdateAllViews(orvik::DocumentChange{orvik::DocumentChange::Kind::TraceRecorded});
}

void BM_RecordWithoutJournal(benchmark::State& state) {
    const auto measured = Trace(1);
    orvik::COrvikDoc document;
    for (auto _ : state) {
        FileTrace(document, *measured);
    }
}
BENCHMARK(BM_RecordWithoutJournal)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_RecordWithJournal(benchmark::State& state) {
    const auto measured = Trace(1);
    {
        orvik::COrvikDoc document;
        orvik::RecoveryJournal journal(BenchFolder(), document);
        for (auto _ : state) {
            FileTrace(document, *measured);
        }
        journal.Discard();
    }
    std::filesystem::remove_all(BenchFolder());
}
BENCHMARK(BM_RecordWithJournal)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A journal of 10,000 records, as the journal writes them one Record Test
// at a time, built in one go.
std::string LargeJournalPath() {
    static const std::string path = [] {
        std::filesystem::create_directories(BenchFolder());
        const std::string file = BenchFolder() + "/bench-10000" + orvik::kJournalExtension;
        std::vector<std::uint8_t> bytes;
        orvik::EncodeJournalStart(orvik::JournalStart{}, bytes);
        for (int i = 0; i < 10000; ++i) {
            const auto trace = Trace(i);
            orvik::EncodeJournalEntry(orvik::JournalEntryKind::Inserted, i + 2, i, trace.get(),
                                      bytes);
            orvik::EncodeJournalEntry(orvik::JournalEntryKind::Committed, i + 2, 0, nullptr, bytes);
        }
        if (!orvik::SaveFileAtomically(file, bytes)) {
            std::abort();  // nothing to measure without the file
        }
        return file;
    }();
    return path;
}

void BM_Recover10000(benchmark::State& state) {
    const std::string path = LargeJournalPath();
    for (auto _ : state) {
        auto journal = orvik::LeftoverJournal::Open(path);
        if (!journal) {
            state.SkipWithError(journal.Error().Message.c_str());
            break;
        }
        orvik::COrvikDoc document;
        const auto rebuilt = journal->RebuildInto(document);
        if (!rebuilt || document.Items().size() != 10000) {
            state.SkipWithError("the journal did not rebuild 10,000 traces");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_Recover10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Starts after the most items a journal may name and removes the first, again
// and again: 240 KB.
std::vector<std::uint8_t> CraftedJournal() {
    std::vector<std::uint8_t> bytes;
    orvik::EncodeJournalStart({"", 1 << 22, std::nullopt, false}, bytes);
    while (bytes.size() < 240 * 1024) {
        orvik::EncodeJournalEntry(orvik::JournalEntryKind::Removed, 1, 0, nullptr, bytes);
        orvik::EncodeJournalEntry(orvik::JournalEntryKind::Committed, 1, 0, nullptr, bytes);
    }
    return bytes;
}

void BM_ReadCraftedJournal(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = CraftedJournal();
    for (auto _ : state) {
        const orvik::JournalContents contents = orvik::ReadJournal(bytes);
        benchmark::DoNotOptimize(orvik::ListJournal(contents, 0));
        if (contents.LostEntries != 0) {
            state.SkipWithError("the crafted journal was not read whole");
            break;
        }
    }
}
BENCHMARK(BM_ReadCraftedJournal)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(BenchFolder());
    return 0;
}
