#pragma once

// The records of the copies a press has made, written to the catalog in batches and only once the
// copies' data is on the disk: a power cut, or an enclosure switched off, right after a record is
// written must never leave the record vouching for a copy that holds nothing. Without a catalog
// the copies are still put on the disk before the press calls itself complete.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backup/Catalog.h"
#include "backup/CopyFlusher.h"
#include "backup/FileSystem.h"

namespace bexlo {

class RecordBatch {
public:
    RecordBatch(FileSystem& fs, Catalog* catalog);
    // Waits for the copies still being flushed.
    ~RecordBatch();
    RecordBatch(const RecordBatch&) = delete;
    RecordBatch& operator=(const RecordBatch&) = delete;

    // A placed copy's record, to be written once the copy's data is on the disk. A copy on the
    // destination's volume (`onBackup`) waits for that volume to be flushed as a whole; any other,
    // and every one where the volume refuses, is flushed through its own handle: on a thread of
    // its own where it allows, while the walk goes on.
    void Add(const std::wstring& destination, const std::wstring& folder, CatalogRecord record,
             std::uint64_t bytes, bool onBackup, std::unique_ptr<StagedCopy> copy);
    // Enough is waiting that it is time to write it.
    bool Due() const;
    // Puts the waiting copies' data on the disk and writes their records in one transaction. A
    // record whose copy could not be confirmed on the disk is left out. False when anything was
    // left out or could not be written.
    bool Write(const std::wstring& destination);

private:
    struct Waiting {
        std::wstring folder;
        CatalogRecord record;
        // Its data reaches the disk with the volume's flush.
        bool byVolume = false;
        // Its own flush, by the number the flusher knows it by.
        std::size_t flush = 0;
    };

    // Whether the destination's volume can be put on the disk as a whole, asked once.
    bool VolumeFlushes(const std::wstring& destination);

    FileSystem& fs_;
    Catalog* catalog_;
    std::vector<Waiting> waiting_;
    std::uint64_t bytes_ = 0;
    std::optional<bool> volumeFlushes_;
    std::unique_ptr<CopyFlusher> flusher_;
    // The copies' own flushes: how many were asked, and those that failed.
    std::size_t flushes_ = 0;
    std::set<std::size_t> inlineFailures_;
};

}  // namespace bexlo
