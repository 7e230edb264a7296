// The offline hive store: the SOFTWARE hive of a Windows image, read and
// written where it lies through libhivex. It is HKEY_LOCAL_MACHINE\SOFTWARE;
// HKEY_CLASSES_ROOT is its Classes key. Nothing is loaded up front: keys are
// looked up when the registry functions ask, with an index of our own for
// keys with many subkeys (libhivex looks a child up by scanning them all).
#pragma once

#include <hivex.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/standin/store/store.h"

namespace standin {

class HiveNode;

// Owns the open hive (libhivex's handle and a read-only mapping of the file
// as opened); a record it cannot read is ERROR_BADDB, never an absence.
class HiveStore : public Store {
public:
    // Opens the hive; null, with "<file>: <reason>" in *error, for a file
    // that is no primary hive, a dirty, truncated or damaged one.
    static std::unique_ptr<HiveStore> Open(const std::string& path, std::string* error);
    ~HiveStore();
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    // HKEY_LOCAL_MACHINE (holding SOFTWARE only) and HKEY_CLASSES_ROOT; null for other roots.
    std::shared_ptr<Node> Root(HKEY root) override;
    // Writes the whole hive, as it now is, to path, with the times of this
    // run's writes on the keys it wrote; false with a reason.
    bool Write(const std::string& path, int fd, std::string* error) override;

    hive_h* Hive() const { return hive_; }
    // libhivex, opened for writing: the hive is read through a read-only
    // mapping until the first write, then reopened (its node handles are
    // offsets in the file and stay valid). Null when it cannot be reopened.
    hive_h* WritableHive();
    // The node object of a hive node; one object per node for keys whose
    // caches pay (many subkeys) and for the roots.
    std::shared_ptr<Node> NodeFor(hive_node_h node);

    // What the file as opened says of a key's subkeys.
    enum class FileAnswer { Read, NotInFile, Damaged };
    // The subkeys of a key as the file lists them, read from the file itself
    // (libhivex refuses to list a key of more than 70,000 subkeys), checked
    // as libhivex checks them. NotInFile for a key made or grown in this run.
    FileAnswer ChildrenFromFile(hive_node_h node, std::vector<hive_node_h>* children) const;
    // Looks a child up in the file's own list of a key of at most `limit`
    // subkeys; *found is 0 when there is none. NotInFile when the file cannot answer.
    FileAnswer FindInFile(hive_node_h node, std::u16string_view name, size_t limit, hive_node_h* found) const;
    // A key's name: read from the file for keys that were in it when it was
    // opened (names never change), which spares libhivex's conversions.
    // False when the key's record cannot be read.
    bool NameOf(hive_node_h node, std::u16string* name) const;
    // Whether a key's name is that name, compared as the registry compares names.
    bool NameIs(hive_node_h node, std::u16string_view name) const;
    // Whether values of more than a cell's worth of data are big-data
    // records, which libhivex cannot write (hives of version 1.4 and later).
    bool BigDataInRecords() const { return minorVersion_ >= 4; }
    // Records a key made in this run below parent: the file as opened knows
    // nothing of it, and its parent's lists there are out of date.
    void NoteCreated(hive_node_h node, hive_node_h parent);
    // Records a key whose values this run wrote.
    void NoteWritten(hive_node_h node) { written_.insert(node); }
    // Deletes a key below parent with everything below it; false when
    // libhivex cannot.
    bool DeleteKey(hive_node_h node, hive_node_h parent);
    // The key a link key stands for (its REG_LINK SymbolicLinkValue, a path
    // below \REGISTRY\MACHINE\SOFTWARE), followed within this hive; the key
    // itself when it is no link. ERROR_BADDB for a target outside the hive, a
    // loop or a link that cannot be read; ERROR_FILE_NOT_FOUND for none.
    LONG Followed(hive_node_h node, hive_node_h* target, int depth = 0) const;
    // Whether a key was deleted in this run (its cells are free).
    bool IsDeletedKey(hive_node_h node) const { return deleted_.count(node) != 0; }

    // Takes over an open hive; Open is the way in.
    HiveStore(hive_h* hive, std::string path) : hive_(hive), path_(std::move(path)) {}

private:
    template <typename Visit>
    bool VisitList(size_t offset, int depth, size_t* total, const Visit& visit) const;
    // Whether a file offset starts a cell in use, as libhivex's own map says.
    bool IsCellStart(size_t offset) const;
    size_t CellSize(size_t offset) const;
    // The nk record of a key in the file as opened (checked as libhivex
    // checks it), or null.
    const unsigned char* RecordInFile(hive_node_h node) const;
    // A key's name bytes in the file as opened (length in characters), or null.
    const unsigned char* NameInFile(hive_node_h node, size_t* length, bool* latin1) const;
    // Maps the file and finds its cells; false with the problem in words.
    bool MapFile(size_t size, std::string* problem);
    bool PatchTimes(const std::string& path, std::string* error) const;

    struct Mapping {
        unsigned char* bytes = nullptr;
        size_t size = 0;
        ~Mapping();
    };

    hive_h* hive_;
    std::string path_;
    bool writable_ = false;
    uint32_t minorVersion_ = 0;
    mutable size_t recordsRead_ = 0;  // since the mapping's pages were last given back
    Mapping file_;  // the hive as it was opened, read-only
    std::vector<uint8_t> cellStarts_;  // a bit for each 4 bytes of the file: a cell in use starts there
    std::shared_ptr<Node> machine_;
    std::shared_ptr<Node> classes_;
    std::unordered_map<hive_node_h, std::shared_ptr<Node>> kept_;
    std::unordered_set<hive_node_h> created_;
    std::unordered_set<hive_node_h> grown_;
    std::unordered_set<hive_node_h> written_;
    std::unordered_set<hive_node_h> deleted_;
};

}  // namespace standin
