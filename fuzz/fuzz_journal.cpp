// Feeds arbitrary bytes to the recovery journal's reader and rebuilds what it
// accepts. A journal that names a collection is rebuilt over a real one, made
// here (a trace, a script, a coupon marker, a trace), so that removals and
// changes of saved items are reached; an input never names a file of its own.
// Nothing may crash; a rebuilt collection must save and read back to the same
// bytes; and what the start-up question counts must be what the rebuild did,
// as a listener on the document sees it.
//
// An odd first byte takes the rest as (uint16 length, payload) pieces and
// frames each with its right CRC, so that the fuzzer reaches the entries
// behind the checksums; an even one gives the bytes to the reader as they are.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <vector>

#include "base/archive.h"
#include "collection/orvik_doc.h"
#include "journal/journal_format.h"
#include "journal/journal_recovery.h"
#include "save_round_trip.h"
#include "script/script.h"

namespace {

std::vector<std::uint8_t> FramePieces(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> framed;
    std::size_t at = 0;
    while (at + 2 <= bytes.size()) {
        std::size_t length = bytes[at] | bytes[at + 1] << 8;
        at += 2;
        length = std::min(length, bytes.size() - at);
        const auto payload = bytes.subspan(at, length);
        at += length;
        const std::uint32_t crc = orvik::Crc32(payload);
        for (const std::uint32_t value : {static_cast<std::uint32_t>(length), crc}) {
            for (int i = 0; i < 4; ++i) {
                framed.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
            }
        }
        framed.insert(framed.end(), payload.begin(), payload.end());
    }
    return framed;
}

// The saved collection every journal that names one is rebuilt over.
struct Base {
    std::string Path;
    std::string Absent;  // for journals begun with no file
    orvik::FileIdentity File;
};

const Base& SavedBase() {
    static const Base base = [] {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("orvik-fuzz-journal-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        orvik::COrvikDoc document;
        auto trace = std::make_unique<orvik::TraceRecord>();
        trace->Samples.push_back({1.0, 50.0});
        document.AppendItem(std::move(trace));
        document.AppendItem(std::make_unique<orvik::Script>());
        document.AppendItem(std::make_unique<orvik::CouponMarker>("7"));
        document.AppendItem(std::make_unique<orvik::TraceRecord>());
        const std::string path = (folder / "base.tdr").string();
        if (!document.SaveAs(path)) {
            std::abort();
        }
        return Base{path, (folder / "absent.tdr").string(), *document.SavedFile()};
    }();
    return base;
}

// Every path the input names becomes the saved base (or a file that does not
// exist), and every file it records is said to be that base's.
void PointAtTheBase(orvik::JournalContents& contents) {
    const Base& base = SavedBase();
    orvik::JournalStart& start = *contents.Start;
    if (!start.CollectionPath.empty()) {
        const bool file = start.BaseFile.has_value() || start.ItemCountOnly;
        start.CollectionPath = file ? base.Path : base.Absent;
        if (start.BaseFile) {
            start.BaseFile = base.File;
        }
    }
    for (orvik::JournalSave& save : contents.Saves) {
        save.CollectionPath = base.Path;
        save.File = base.File;
    }
}

// Which of the document's items the rebuild put in (a change in place is
// applied as a removal and an insertion), as the document's own
// notifications tell it.
class Mirror : public orvik::ItemListListener {
  public:
    std::vector<bool> fromJournal;
    std::size_t baseItems = 0;

    void ItemInserted(const orvik::COrvikDoc&, std::size_t index) override {
        fromJournal.insert(fromJournal.begin() + static_cast<std::ptrdiff_t>(index), true);
    }
    void ItemRemoved(const orvik::COrvikDoc&, std::size_t index) override {
        fromJournal.erase(fromJournal.begin() + static_cast<std::ptrdiff_t>(index));
    }
    void ItemChanged(const orvik::COrvikDoc&, std::size_t index) override {
        fromJournal[index] = true;
    }
    void ChangesComplete(const orvik::COrvikDoc&) override {}
    void MatchesFile(const orvik::COrvikDoc& document) override {
        fromJournal.assign(document.Items().size(), false);
        baseItems = fromJournal.size();
    }
};

std::vector<std::uint8_t> ItemBytes(orvik::CollectionItem& item) {
    orvik::Archive archive = orvik::Archive::ForStoring();
    orvik::WriteCollectionItem(archive, item);
    return archive.TakeBytes();
}

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// Rebuilds over base `base` and checks the listing against what happened.
void RebuildOver(const orvik::JournalContents& contents, std::size_t base) {
    orvik::COrvikDoc document;
    Mirror mirror;
    document.SetItemListener(&mirror);
    const auto rebuilt = orvik::RebuildFromBase(contents, base, document);
    if (!rebuilt) {
        return;
    }
    AbortUnlessSaveRoundTrips(document);
    if (rebuilt->Lost != contents.LostEntries) {
        return;  // an item that does not decode ended the rebuild early
    }
    const orvik::JournalListing listing = orvik::ListJournal(contents, base);
    std::size_t saved = 0;
    std::size_t traces = 0;
    std::vector<std::vector<std::uint8_t>> held;
    for (std::size_t i = 0; i < mirror.fromJournal.size(); ++i) {
        orvik::CollectionItem& item = *document.Items()[i];
        if (mirror.fromJournal[i]) {
            traces += item.TypeCode == orvik::kTraceRecordType ? 1 : 0;
            held.push_back(ItemBytes(item));
        } else {
            ++saved;
        }
    }
    std::size_t heldTraces = 0;
    for (const std::size_t entry : listing.HeldItems) {
        heldTraces += contents.Entries[entry].ItemType == orvik::kTraceRecordType ? 1 : 0;
    }
    Check(held.size() == listing.NewItems + listing.ChangedItems &&
          held.size() == listing.HeldItems.size() && traces == heldTraces);
    Check(saved + listing.DeletedItems + listing.ChangedItems == mirror.baseItems);
    // The traces the start-up question counts.
    Check(listing.ChangedItems != 0 || traces == listing.NewTraces);
    if (base != 0) {
        return;
    }
    // From the start, the same items are what a changed collection recovers.
    orvik::COrvikDoc fresh;
    const orvik::RecoveredChanges asNew = orvik::RebuildAsNewCollection(contents, fresh);
    Check(asNew.Applied == held.size() && fresh.Items().size() == held.size());
    for (std::size_t i = 0; i < held.size(); ++i) {
        Check(ItemBytes(*fresh.Items()[i]) == held[i]);
    }
    AbortUnlessSaveRoundTrips(fresh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    const std::vector<std::uint8_t> journal =
        (data[0] & 1) != 0 ? FramePieces(rest)
                           : std::vector<std::uint8_t>(rest.begin(), rest.end());
    orvik::JournalContents contents = orvik::ReadJournal(journal);
    if (!contents.Start) {
        return 0;
    }
    PointAtTheBase(contents);
    RebuildOver(contents, 0);
    if (contents.Bases() > 1) {
        RebuildOver(contents, contents.Bases() - 1);
    }
    return 0;
}
