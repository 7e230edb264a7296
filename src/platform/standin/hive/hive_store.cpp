#include "platform/standin/hive/hive_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_map>
#include <vector>

#include "platform/standin/hive/regf_layout.h"
#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

// Keys with at most this many subkeys are searched name by name; larger ones
// get an index, built on the first lookup that misses.
constexpr size_t kScanLimit = 16;

// Records read, and bytes of bins walked, between two givings back of the
// mapping's pages. Each fault maps the pages around it that the page cache
// holds (libhivex has read them all), up to 16: 512 records may bring in
// 32 MiB, which keeps the process within 1.5 times the hive and 20 MiB.
constexpr size_t kGiveBackEvery = 512;
constexpr size_t kGiveBackBytes = 8 << 20;

std::u16string Folded(std::u16string_view name) {
    std::u16string folded(name);
    for (auto& c : folded) c = FoldCase(c);
    return folded;
}

// A string libhivex allocated, freed when it goes.
struct HivexText {
    char* text;
    ~HivexText() { std::free(text); }
};

template <typename T>
struct HivexArray {
    T* items;
    ~HivexArray() { std::free(items); }
};

// Owns the SOFTWARE key: HKEY_LOCAL_MACHINE of an offline image, the one
// hive we hold; making or deleting another key there is ERROR_ACCESS_DENIED.
class MachineNode : public Node {
public:
    explicit MachineNode(std::shared_ptr<Node> software) : software_(std::move(software)) {}
    LONG FindChild(std::u16string_view name, std::shared_ptr<Node>* child) override {
        if (!EqualsFolded(name, u"SOFTWARE")) return ERROR_FILE_NOT_FOUND;
        *child = software_;
        return ERROR_SUCCESS;
    }
    LONG MakeChild(std::u16string_view name, std::shared_ptr<Node>* child, bool* created) override {
        *created = false;
        LONG status = FindChild(name, child);
        return status == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : status;
    }
    LONG SubkeyCount(size_t* count) override {
        *count = 1;
        return ERROR_SUCCESS;
    }
    LONG LongestSubkeyName(size_t* length) override {
        *length = 8;
        return ERROR_SUCCESS;
    }
    LONG SubkeyName(size_t index, std::u16string* name) override {
        if (index != 0) return ERROR_NO_MORE_ITEMS;
        *name = u"SOFTWARE";
        return ERROR_SUCCESS;
    }
    LONG ReadValue(std::u16string_view, DWORD*, std::vector<uint8_t>*) override { return ERROR_FILE_NOT_FOUND; }
    LONG WriteValue(std::u16string_view, DWORD, std::vector<uint8_t>, bool* changed) override {
        *changed = false;
        return ERROR_ACCESS_DENIED;
    }
    LONG ValueShapes(std::vector<ValueShape>* shapes) override {
        shapes->clear();
        return ERROR_SUCCESS;
    }
    LONG ValueNames(std::vector<std::u16string>* names) override {
        names->clear();
        return ERROR_SUCCESS;
    }
    LONG DeleteChild(std::u16string_view name) override {
        return EqualsFolded(name, u"SOFTWARE") ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    }
    bool IsDeleted() const override { return false; }
    uintptr_t Identity() const override { return 0; }  // no key of the hive is at offset 0

private:
    std::shared_ptr<Node> software_;
};

// The current time as a FILETIME: 100 ns steps since 1601.
uint64_t FileTimeNow() {
    auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<uint64_t>(since1970.count() / 100) + 116444736000000000ull;
}

// A hive whose base block contradicts itself or its bins, in words.
std::string DamagedBaseBlock(const std::string& why) {
    return "the hive's base block is damaged (" + why + "): restore the file from a backup";
}

// A base block naming more bytes of bins than whole bins fill, in words.
std::string BinsFallShort(uint32_t binsSize, size_t filled) {
    return DamagedBaseBlock("it names " + std::to_string(binsSize) + " bytes of hive bins, but whole bins fill " +
                            std::to_string(filled) + " of them");
}

// Why a base block is not one the tool can use, in words; "" when it is.
std::string BaseBlockProblem(const regf::BaseBlock& base, const unsigned char* bytes, unsigned long long size) {
    if (std::memcmp(base.signature, "regf", 4) != 0) return "not a registry hive (no \"regf\" base block)";
    if (base.fileType != 0)
        return "not a primary hive but a transaction log or other companion file (its type is " +
               std::to_string(base.fileType) + "): name the hive itself, such as Windows/System32/config/SOFTWARE";
    if (base.primarySequence != base.secondarySequence)
        return "the hive is dirty (sequence numbers " + std::to_string(base.primarySequence) + " and " +
               std::to_string(base.secondarySequence) +
               "): Windows has not replayed its transaction logs, so its contents are stale";
    if (base.majorVersion != 1 || base.minorVersion < 2 || base.minorVersion > 6)
        return "a hive of format version " + std::to_string(base.majorVersion) + "." +
               std::to_string(base.minorVersion) + ", which no supported Windows writes";
    if (regf::Checksum(bytes) != base.checksum)
        return DamagedBaseBlock("its checksum does not match");
    if (regf::kBaseBlockSize + static_cast<unsigned long long>(base.binsSize) > size)
        return "the hive is truncated (its base block names " + std::to_string(base.binsSize) +
               " bytes of hive bins; the file holds " + std::to_string(size - regf::kBaseBlockSize) + ")";
    return "";
}

}  // namespace

// One key of the hive, with its subkeys (and, for a large key, their index)
// cached until it changes; what libhivex cannot read is ERROR_BADDB.
class HiveNode : public Node {
public:
    HiveNode(HiveStore& store, hive_node_h node) : store_(store), node_(node) {}

    LONG FindChild(std::u16string_view name, std::shared_ptr<Node>* child) override {
        hive_node_h found = 0;
        if (LONG status = Lookup(name, &found)) return status;
        if (!found) return ERROR_FILE_NOT_FOUND;
        if (LONG status = store_.Followed(found, &found)) return status;
        *child = store_.NodeFor(found);
        return ERROR_SUCCESS;
    }

    LONG MakeChild(std::u16string_view name, std::shared_ptr<Node>* child, bool* created) override {
        *created = false;
        LONG status = FindChild(name, child);
        if (status != ERROR_FILE_NOT_FOUND) return status;
        hive_h* writable = store_.WritableHive();
        hive_node_h made = writable ? hivex_node_add_child(writable, node_, Utf16ToUtf8(name).c_str()) : 0;
        if (!made) return ERROR_ACCESS_DENIED;
        store_.NoteCreated(made, node_);
        childrenLoaded_ = false;  // libhivex keeps its list sorted: indexes moved
        lastIndex_ = kNone;
        if (indexed_) index_.emplace(Folded(name), made);
        *child = store_.NodeFor(made);
        *created = true;
        return ERROR_SUCCESS;
    }

    LONG SubkeyCount(size_t* count) override {
        const std::vector<hive_node_h>* children = nullptr;
        if (LONG status = Children(&children)) return status;
        *count = children->size();
        return ERROR_SUCCESS;
    }

    LONG LongestSubkeyName(size_t* length) override {
        const std::vector<hive_node_h>* children = nullptr;
        if (LONG status = Children(&children)) return status;
        *length = 0;
        std::u16string name;
        for (hive_node_h child : *children) {
            if (!store_.NameOf(child, &name)) return ERROR_BADDB;
            *length = std::max(*length, name.size());
        }
        return ERROR_SUCCESS;
    }

    LONG SubkeyName(size_t index, std::u16string* name) override {
        const std::vector<hive_node_h>* children = nullptr;
        if (LONG status = Children(&children)) return status;
        if (index >= children->size()) return ERROR_NO_MORE_ITEMS;
        if (!store_.NameOf((*children)[index], name)) return ERROR_BADDB;
        // A sweep opens what it has just enumerated: remember it.
        lastIndex_ = index;
        return ERROR_SUCCESS;
    }

    LONG ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) override {
        hive_value_h value = 0;
        if (LONG status = FindValue(name, &value)) return status;
        return ValueData(value, type, data);
    }

    LONG WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data, bool* changed) override {
        *changed = false;
        DWORD oldType = REG_NONE;
        std::vector<uint8_t> old;
        LONG status = ReadValue(name, &oldType, &old);
        if (status == ERROR_SUCCESS && oldType == type && old == data) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
        if (LONG refused = CheckRewritable(data.size())) return refused;
        std::string key = Utf16ToUtf8(name);
        hive_set_value value{key.data(), hive_t_REG_NONE, data.size(), reinterpret_cast<char*>(data.data())};
        std::memcpy(&value.t, &type, sizeof type);  // any 32-bit type, as Windows allows
        hive_h* writable = store_.WritableHive();
        if (!writable || hivex_node_set_value(writable, node_, &value, 0) != 0) return ERROR_ACCESS_DENIED;
        store_.NoteWritten(node_);
        *changed = true;
        return ERROR_SUCCESS;
    }

    LONG ValueShapes(std::vector<ValueShape>* shapes) override {
        shapes->clear();
        HivexArray<hive_value_h> values{hivex_node_values(Hive(), node_)};
        if (!values.items) return ERROR_BADDB;
        for (size_t i = 0; values.items[i]; ++i) {
            uint32_t type = 0;
            size_t length = 0;
            if (hivex_value_type(Hive(), values.items[i], reinterpret_cast<hive_type*>(&type), &length) != 0)
                return ERROR_BADDB;
            HivexText key{hivex_value_key(Hive(), values.items[i])};
            if (!key.text) return ERROR_BADDB;
            shapes->push_back(ValueShape{Utf8ToUtf16(key.text).size(), type, length});
        }
        return ERROR_SUCCESS;
    }

    LONG ValueNames(std::vector<std::u16string>* names) override {
        names->clear();
        HivexArray<hive_value_h> values{hivex_node_values(Hive(), node_)};
        if (!values.items) return ERROR_BADDB;
        for (size_t i = 0; values.items[i]; ++i) {
            HivexText key{hivex_value_key(Hive(), values.items[i])};
            if (!key.text) return ERROR_BADDB;
            names->push_back(Utf8ToUtf16(key.text));
        }
        return ERROR_SUCCESS;
    }

    LONG DeleteChild(std::u16string_view name) override {
        hive_node_h found = 0;
        if (LONG status = Lookup(name, &found)) return status;
        if (!found) return ERROR_FILE_NOT_FOUND;
        if (!store_.DeleteKey(found, node_)) return ERROR_ACCESS_DENIED;
        childrenLoaded_ = false;
        lastIndex_ = kNone;
        if (indexed_) index_.erase(Folded(name));
        return ERROR_SUCCESS;
    }

    bool IsDeleted() const override { return store_.IsDeletedKey(node_); }
    uintptr_t Identity() const override { return node_; }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    hive_h* Hive() const { return store_.Hive(); }

    // The subkeys in the file's order: read from the file as it was opened
    // while this key has not grown (libhivex also refuses to list more than
    // 70,000), else from libhivex.
    LONG Children(const std::vector<hive_node_h>** out) {
        if (!childrenLoaded_) {
            children_.clear();
            HiveStore::FileAnswer answer = store_.ChildrenFromFile(node_, &children_);
            if (answer == HiveStore::FileAnswer::Damaged) return ERROR_BADDB;
            if (answer == HiveStore::FileAnswer::NotInFile) {
                HivexArray<hive_node_h> list{hivex_node_children(Hive(), node_)};
                if (!list.items) return ERROR_BADDB;
                for (size_t i = 0; list.items[i]; ++i) children_.push_back(list.items[i]);
            }
            childrenLoaded_ = true;
        }
        *out = &children_;
        return ERROR_SUCCESS;
    }

    // The child of that name, or 0.
    LONG Lookup(std::u16string_view name, hive_node_h* found) {
        if (!childrenLoaded_) {
            HiveStore::FileAnswer answer = store_.FindInFile(node_, name, kScanLimit, found);
            if (answer == HiveStore::FileAnswer::Damaged) return ERROR_BADDB;
            if (answer == HiveStore::FileAnswer::Read) return ERROR_SUCCESS;
        }
        const std::vector<hive_node_h>* list = nullptr;
        if (LONG status = Children(&list)) return status;
        const auto& children = *list;
        *found = 0;
        if (lastIndex_ < children.size() && store_.NameIs(children[lastIndex_], name)) {
            *found = children[lastIndex_];
            return ERROR_SUCCESS;
        }
        if (children.size() <= kScanLimit) {
            for (hive_node_h child : children)
                if (store_.NameIs(child, name)) *found = child;
            return ERROR_SUCCESS;
        }
        if (!indexed_) {
            index_.reserve(children.size());
            std::u16string childName;
            for (hive_node_h child : children) {
                if (!store_.NameOf(child, &childName)) return ERROR_BADDB;
                index_.emplace(Folded(childName), child);
            }
            indexed_ = true;
        }
        auto it = index_.find(Folded(name));
        if (it != index_.end()) *found = it->second;
        return ERROR_SUCCESS;
    }

    LONG FindValue(std::u16string_view name, hive_value_h* found) const {
        HivexArray<hive_value_h> values{hivex_node_values(Hive(), node_)};
        if (!values.items) return ERROR_BADDB;
        for (size_t i = 0; values.items[i]; ++i) {
            HivexText key{hivex_value_key(Hive(), values.items[i])};
            if (!key.text) return ERROR_BADDB;
            if (EqualsFolded(Utf8ToUtf16(key.text), name)) {
                *found = values.items[i];
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    }

    LONG ValueData(hive_value_h value, DWORD* type, std::vector<uint8_t>* data) const {
        uint32_t raw = 0;  // any 32-bit number: Windows allows types beyond the REG_ constants
        size_t length = 0;
        HivexText bytes{hivex_value_value(Hive(), value, reinterpret_cast<hive_type*>(&raw), &length)};
        if (!bytes.text) return ERROR_BADDB;
        *type = raw;
        data->assign(bytes.text, bytes.text + length);
        return ERROR_SUCCESS;
    }

    // libhivex writes a key's values again, each as one cell, when it sets
    // one: refused (ERROR_NOT_SUPPORTED) where that would change another
    // value's form or give data Windows reads only as a big-data record.
    LONG CheckRewritable(size_t newBytes) {
        if (!store_.BigDataInRecords()) return ERROR_SUCCESS;
        if (newBytes > regf::kLargestCellData) return ERROR_NOT_SUPPORTED;
        std::vector<ValueShape> shapes;
        if (LONG status = ValueShapes(&shapes)) return status;
        for (const ValueShape& shape : shapes)
            if (shape.bytes > regf::kLargestCellData) return ERROR_NOT_SUPPORTED;
        return ERROR_SUCCESS;
    }

    HiveStore& store_;
    hive_node_h node_;
    std::vector<hive_node_h> children_;
    bool childrenLoaded_ = false;
    size_t lastIndex_ = kNone;
    std::unordered_map<std::u16string, hive_node_h> index_;
    bool indexed_ = false;
};

std::unique_ptr<HiveStore> HiveStore::Open(const std::string& path, std::string* error) {
    // The base block first: libhivex opens a hive whose logs were not replayed.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    unsigned char bytes[regf::kBaseBlockSize];
    file.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    auto read = static_cast<size_t>(file.gcount());
    file.seekg(0, std::ios::end);
    auto size = static_cast<unsigned long long>(file.tellg());
    if (read < sizeof bytes) {
        *error = path + ": not a registry hive (shorter than a base block)";
        return nullptr;
    }
    auto base = regf::Read<regf::BaseBlock>(bytes);
    if (std::string problem = BaseBlockProblem(base, bytes, size); !problem.empty()) {
        *error = path + ": " + problem;
        return nullptr;
    }
    errno = 0;
    hive_h* hive = hivex_open(path.c_str(), 0);
    if (!hive) {
        *error = path + ": the hive's records are damaged, so no tool can trust what it reads (libhivex: " +
                 std::strerror(errno ? errno : EINVAL) + "): restore the file from a backup";
        return nullptr;
    }
    auto store = std::make_unique<HiveStore>(hive, path);
    store->minorVersion_ = base.minorVersion;
    if (std::string problem; !store->MapFile(size, &problem)) {
        *error = path + ": " + problem;
        return nullptr;
    }
    hive_node_h root = hivex_root(hive);
    hive_node_h classes = root ? hivex_node_get_child(hive, root, "Classes") : 0;
    if (!classes) {
        *error = path + ": not a SOFTWARE hive (it has no Classes key)";
        return nullptr;
    }
    std::shared_ptr<Node> software = std::make_shared<HiveNode>(*store, root);
    store->kept_.emplace(root, software);
    store->classes_ = std::make_shared<HiveNode>(*store, classes);
    store->kept_.emplace(classes, store->classes_);
    store->machine_ = std::make_shared<MachineNode>(software);
    return store;
}

// Maps the file read-only and notes where its cells in use start, walking
// the bins as libhivex does when it opens a hive.
bool HiveStore::MapFile(size_t size, std::string* problem) {
    int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    void* mapped = fd < 0 ? MAP_FAILED : mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    int failure = errno;
    if (fd >= 0) close(fd);
    if (mapped == MAP_FAILED) {
        *problem = std::string("cannot be mapped: ") + std::strerror(failure);
        return false;
    }
    file_.bytes = static_cast<unsigned char*>(mapped);
    file_.size = size;
    cellStarts_.assign(size / 32 + 1, 0);
    auto base = regf::Read<regf::BaseBlock>(file_.bytes);
    size_t end = std::min<size_t>(size, regf::kBaseBlockSize + base.binsSize);
    size_t walked = 0;
    size_t bin = regf::kFirstBin;
    while (bin + sizeof(regf::BinHeader) <= end) {
        auto header = regf::Read<regf::BinHeader>(file_.bytes + bin);
        if (std::memcmp(header.signature, "hbin", 4) != 0 || header.size < sizeof header || header.size % 4096)
            break;
        // libhivex reads such a bin to its end, Windows only to the end the
        // base block names: no reading of the keys can be trusted.
        if (bin + header.size > end) {
            *problem = DamagedBaseBlock("it names " + std::to_string(base.binsSize) +
                                        " bytes of hive bins, but the bin at offset " +
                                        std::to_string(bin - regf::kFirstBin) + " runs to " +
                                        std::to_string(bin + header.size - regf::kFirstBin));
            return false;
        }
        size_t binEnd = bin + header.size;
        for (size_t cell = bin + sizeof header; cell + 4 <= binEnd;) {
            // libhivex holds the hive too: what the walk read is given back
            // as it goes, so that the file is never held twice.
            if (cell - walked >= kGiveBackBytes) {
                madvise(file_.bytes + walked, (cell - walked) / 4096 * 4096, MADV_DONTNEED);
                walked += (cell - walked) / 4096 * 4096;
            }
            int32_t length;
            std::memcpy(&length, file_.bytes + cell, 4);
            size_t bytes = length < 0 ? static_cast<size_t>(-static_cast<int64_t>(length)) : static_cast<size_t>(length);
            if (bytes <= 4 || bytes % 4) break;
            if (length < 0) cellStarts_[cell >> 5] |= static_cast<uint8_t>(1 << ((cell >> 2) & 7));
            cell += bytes;
        }
        bin += header.size;
    }
    // Windows reads whole bins, as many as the base block names: where they
    // stop short of that, its keys (the root's among them) are not there.
    if (bin != end || bin == regf::kFirstBin) {
        *problem = BinsFallShort(base.binsSize, bin - regf::kFirstBin);
        return false;
    }
    madvise(file_.bytes, file_.size, MADV_DONTNEED);
    return true;
}

HiveStore::~HiveStore() {
    kept_.clear();
    classes_.reset();
    machine_.reset();
    hivex_close(hive_);
}

std::shared_ptr<Node> HiveStore::Root(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return classes_;
    if (root == HKEY_LOCAL_MACHINE) return machine_;
    return nullptr;
}

std::shared_ptr<Node> HiveStore::NodeFor(hive_node_h node) {
    auto it = kept_.find(node);
    if (it != kept_.end()) return it->second;
    auto made = std::make_shared<HiveNode>(*this, node);
    const unsigned char* nk = grown_.count(node) ? nullptr : RecordInFile(node);
    size_t subkeys = nk ? regf::Read<regf::KeyRecord>(nk).subkeys : hivex_node_nr_children(hive_, node);
    if (subkeys > kScanLimit) kept_.emplace(node, made);
    return made;
}

void HiveStore::NoteCreated(hive_node_h node, hive_node_h parent) {
    deleted_.erase(node);  // should libhivex give a freed cell again
    created_.insert(node);
    grown_.insert(parent);
    written_.insert(node);
    written_.insert(parent);
}

bool HiveStore::IsCellStart(size_t offset) const {
    return offset % 4 == 0 && offset >= regf::kFirstBin && offset < file_.size &&
           (cellStarts_[offset >> 5] & (1 << ((offset >> 2) & 7)));
}

size_t HiveStore::CellSize(size_t offset) const {
    int32_t length;
    std::memcpy(&length, file_.bytes + offset, 4);
    return static_cast<size_t>(-static_cast<int64_t>(length));  // a cell in use: negative
}

const unsigned char* HiveStore::RecordInFile(hive_node_h node) const {
    // libhivex holds the whole hive (it reads every cell when it opens it):
    // the mapping's pages are given back now and then, so that the file is
    // not held twice.
    if (++recordsRead_ % kGiveBackEvery == 0 && file_.bytes) madvise(file_.bytes, file_.size, MADV_DONTNEED);
    if (!file_.bytes || created_.count(node) || !IsCellStart(node)) return nullptr;
    size_t size = CellSize(node);
    if (node + size > file_.size || size < regf::kCellHeader + sizeof(regf::KeyRecord)) return nullptr;
    const unsigned char* nk = file_.bytes + node + regf::kCellHeader;
    auto record = regf::Read<regf::KeyRecord>(nk);
    if (std::memcmp(record.signature, "nk", 2) != 0) return nullptr;
    if (regf::kCellHeader + sizeof record + record.nameLength > size) return nullptr;
    return nk;
}

hive_h* HiveStore::WritableHive() {
    if (writable_) return hive_;
    // The read-only handle goes first, so that the hive is never held twice.
    hivex_close(hive_);
    hive_ = hivex_open(path_.c_str(), HIVEX_OPEN_WRITE);
    writable_ = hive_ != nullptr;
    if (!hive_) hive_ = hivex_open(path_.c_str(), 0);
    return writable_ ? hive_ : nullptr;
}

const unsigned char* HiveStore::NameInFile(hive_node_h node, size_t* length, bool* latin1) const {
    const unsigned char* nk = RecordInFile(node);
    if (!nk) return nullptr;
    auto record = regf::Read<regf::KeyRecord>(nk);
    *latin1 = record.flags & regf::kAsciiName;
    *length = *latin1 ? record.nameLength : record.nameLength / 2u;
    return nk + sizeof record;
}

bool HiveStore::NameOf(hive_node_h node, std::u16string* out) const {
    size_t length = 0;
    bool latin1 = false;
    if (const unsigned char* name = NameInFile(node, &length, &latin1)) {
        out->resize(length);
        for (size_t i = 0; i < length; ++i)
            (*out)[i] = latin1 ? name[i] : static_cast<char16_t>(name[2 * i] | (name[2 * i + 1] << 8));
        return true;
    }
    if (!created_.count(node)) return false;  // in the file, but no key record there
    HivexText name{hivex_node_name(hive_, node)};
    if (!name.text) return false;
    *out = Utf8ToUtf16(name.text);
    return true;
}

bool HiveStore::NameIs(hive_node_h node, std::u16string_view wanted) const {
    std::u16string name;
    return NameOf(node, &name) && EqualsFolded(name, wanted);
}

HiveStore::Mapping::~Mapping() {
    if (bytes) munmap(bytes, size);
}

HiveStore::FileAnswer HiveStore::ChildrenFromFile(hive_node_h node, std::vector<hive_node_h>* children) const {
    if (grown_.count(node) || created_.count(node)) return FileAnswer::NotInFile;
    const unsigned char* nk = RecordInFile(node);
    if (!nk) return FileAnswer::Damaged;
    auto record = regf::Read<regf::KeyRecord>(nk);
    std::vector<hive_node_h> found;
    if (record.subkeys == 0) {
        *children = std::move(found);
        return FileAnswer::Read;
    }
    // Each subkey is a key record of its own: no more fit in the file.
    if (record.subkeys > file_.size / (regf::kCellHeader + sizeof(regf::KeyRecord))) return FileAnswer::Damaged;
    found.reserve(record.subkeys);
    size_t total = 0;
    auto append = [&](hive_node_h child) {
        found.push_back(child);
        return true;
    };
    if (!VisitList(regf::kFirstBin + record.subkeyList, 0, &total, append) || total != record.subkeys)
        return FileAnswer::Damaged;
    *children = std::move(found);
    return FileAnswer::Read;
}

HiveStore::FileAnswer HiveStore::FindInFile(hive_node_h node, std::u16string_view name, size_t limit,
                                            hive_node_h* found) const {
    if (grown_.count(node) || created_.count(node)) return FileAnswer::NotInFile;
    const unsigned char* nk = RecordInFile(node);
    if (!nk) return FileAnswer::Damaged;
    auto record = regf::Read<regf::KeyRecord>(nk);
    if (record.subkeys > limit) return FileAnswer::NotInFile;
    *found = 0;
    if (record.subkeys == 0) return FileAnswer::Read;
    size_t total = 0;
    bool readable = true;
    bool whole = VisitList(regf::kFirstBin + record.subkeyList, 0, &total, [&](hive_node_h child) {
        std::u16string childName;
        if (!NameOf(child, &childName)) readable = false;
        if (readable && !*found && EqualsFolded(childName, name)) *found = child;
        return readable;
    });
    return whole && readable && total == record.subkeys ? FileAnswer::Read : FileAnswer::Damaged;
}

// Visits the keys of an lf, lh or li list, or of the lists an ri list names,
// checked as libhivex checks them: every list and key a cell in use, within
// its cell, of its kind. False for a list that is damaged; *total counts the
// keys listed.
template <typename Visit>
bool HiveStore::VisitList(size_t offset, int depth, size_t* total, const Visit& visit) const {
    if (!IsCellStart(offset)) return false;
    size_t cellSize = CellSize(offset);
    if (offset + cellSize > file_.size || cellSize < regf::kCellHeader + sizeof(regf::ListHeader)) return false;
    const unsigned char* cell = file_.bytes + offset + regf::kCellHeader;
    auto header = regf::Read<regf::ListHeader>(cell);
    const char* kind = header.signature;
    bool hinted = std::memcmp(kind, "lf", 2) == 0 || std::memcmp(kind, "lh", 2) == 0;
    bool plain = std::memcmp(kind, "li", 2) == 0;
    bool index = std::memcmp(kind, "ri", 2) == 0 && depth == 0;
    if (!hinted && !plain && !index) return false;
    size_t stride = hinted ? sizeof(regf::HintedEntry) : 4;
    if (regf::kCellHeader + sizeof header + header.count * stride > cellSize) return false;
    for (size_t i = 0; i < header.count; ++i) {
        uint32_t entry;
        std::memcpy(&entry, cell + sizeof header + i * stride, 4);
        size_t at = regf::kFirstBin + entry;
        if (index) {
            if (!VisitList(at, depth + 1, total, visit)) return false;
            continue;
        }
        if (!RecordInFile(at)) return false;  // not a key: libhivex refuses the whole list
        ++*total;
        if (!visit(at)) return false;
    }
    return true;
}

bool HiveStore::DeleteKey(hive_node_h node, hive_node_h parent) {
    std::vector<hive_node_h> subtree{node};
    for (size_t i = 0; i < subtree.size(); ++i) {
        HivexArray<hive_node_h> children{hivex_node_children(hive_, subtree[i])};
        if (!children.items) return false;
        for (size_t c = 0; children.items[c]; ++c) subtree.push_back(children.items[c]);
    }
    hive_h* writable = WritableHive();
    if (!writable || hivex_node_delete_child(writable, node) != 0) return false;
    // The cells are free now: nothing may read them or stamp a time in them.
    for (hive_node_h gone : subtree) {
        deleted_.insert(gone);
        kept_.erase(gone);
        created_.erase(gone);
        grown_.erase(gone);
        written_.erase(gone);
    }
    grown_.insert(parent);
    written_.insert(parent);
    return true;
}

bool HiveStore::Write(const std::string& path, int, std::string* error) {
    errno = 0;
    if (hivex_commit(hive_, path.c_str(), 0) != 0) {
        *error = std::strerror(errno ? errno : EIO);
        return false;
    }
    return PatchTimes(path, error);
}

// Windows gives each key it writes, and the base block, the time of the
// write; libhivex keeps the old ones (and a new key its parent's).
bool HiveStore::PatchTimes(const std::string& path, std::string* error) const {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    uint64_t now = FileTimeNow();
    bool ok = true;
    for (hive_node_h node : written_) {
        size_t at = node + regf::kCellHeader + offsetof(regf::KeyRecord, lastWritten);
        ok = ok && pwrite(fd, &now, sizeof now, static_cast<off_t>(at)) == sizeof now;
    }
    unsigned char base[regf::kBaseBlockSize];
    ok = ok && pread(fd, base, sizeof base, 0) == static_cast<ssize_t>(sizeof base);
    if (ok) {
        std::memcpy(base + offsetof(regf::BaseBlock, lastWritten), &now, sizeof now);
        uint32_t sum = regf::Checksum(base);
        std::memcpy(base + offsetof(regf::BaseBlock, checksum), &sum, sizeof sum);
        ok = pwrite(fd, base, sizeof base, 0) == static_cast<ssize_t>(sizeof base);
    }
    if (!ok) *error = std::strerror(errno ? errno : EIO);
    close(fd);
    return ok;
}

}  // namespace standin
