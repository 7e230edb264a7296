#include "platform/standin/hive_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/standin/text_codec.h"

namespace standin {

namespace {

// Keys with at most this many subkeys are searched name by name; larger ones
// get an index, built on the first lookup that misses.
constexpr size_t kScanLimit = 16;

// Names read between two givings back of the mapping's pages.
constexpr size_t kGiveBackEvery = 4096;

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

uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr size_t kFirstBin = 0x1000;   // cell offsets count from the first hive bin
constexpr uint32_t kNone32 = 0xFFFFFFFF;

// HKEY_LOCAL_MACHINE of an offline image: the one hive we hold, as SOFTWARE.
class MachineNode : public Node {
public:
    explicit MachineNode(std::shared_ptr<Node> software) : software_(std::move(software)) {}
    std::shared_ptr<Node> FindChild(std::u16string_view name) override {
        return EqualsFolded(name, u"SOFTWARE") ? software_ : nullptr;
    }
    std::shared_ptr<Node> MakeChild(std::u16string_view name) override { return FindChild(name); }
    size_t SubkeyCount() override { return 1; }
    size_t LongestSubkeyName() override { return 8; }
    bool SubkeyName(size_t index, std::u16string* name) override {
        if (index != 0) return false;
        *name = u"SOFTWARE";
        return true;
    }
    bool ReadValue(std::u16string_view, DWORD*, std::vector<uint8_t>*) override { return false; }
    bool WriteValue(std::u16string_view, DWORD, std::vector<uint8_t>) override { return false; }
    std::vector<ValueShape> ValueShapes() override { return {}; }

private:
    std::shared_ptr<Node> software_;
};

}  // namespace

class HiveNode : public Node {
public:
    HiveNode(HiveStore& store, hive_node_h node) : store_(store), node_(node) {}

    std::shared_ptr<Node> FindChild(std::u16string_view name) override {
        hive_node_h child = Lookup(name);
        return child ? store_.NodeFor(child) : nullptr;
    }

    std::shared_ptr<Node> MakeChild(std::u16string_view name) override {
        if (hive_node_h child = Lookup(name)) return store_.NodeFor(child);
        hive_h* writable = store_.WritableHive();
        hive_node_h made = writable ? hivex_node_add_child(writable, node_, Utf16ToUtf8(name).c_str()) : 0;
        if (!made) return nullptr;
        store_.NoteCreated(made, node_);
        childrenLoaded_ = false;  // libhivex keeps its list sorted: indexes moved
        lastIndex_ = kNone;
        if (indexed_) index_.emplace(Folded(name), made);
        return store_.NodeFor(made);
    }

    size_t SubkeyCount() override { return Children().size(); }

    size_t LongestSubkeyName() override {
        size_t longest = 0;
        for (hive_node_h child : Children()) longest = std::max(longest, store_.NameLength(child));
        return longest;
    }

    bool SubkeyName(size_t index, std::u16string* name) override {
        const auto& children = Children();
        if (index >= children.size()) return false;
        store_.NameOf(children[index], name);
        // A sweep opens what it has just enumerated: remember it.
        lastIndex_ = index;
        return true;
    }

    bool ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) override {
        hive_value_h value = FindValue(name);
        if (!value) return false;
        hive_type t;
        size_t length = 0;
        HivexText bytes{hivex_value_value(Hive(), value, &t, &length)};
        if (!bytes.text) return false;
        *type = static_cast<DWORD>(t);
        data->assign(bytes.text, bytes.text + length);
        return true;
    }

    bool WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) override {
        std::string key = Utf16ToUtf8(name);
        hive_set_value value{key.data(), static_cast<hive_type>(type), data.size(),
                             reinterpret_cast<char*>(data.data())};
        hive_h* writable = store_.WritableHive();
        return writable && hivex_node_set_value(writable, node_, &value, 0) == 0;
    }

    std::vector<ValueShape> ValueShapes() override {
        std::vector<ValueShape> shapes;
        HivexArray<hive_value_h> values{hivex_node_values(Hive(), node_)};
        for (size_t i = 0; values.items && values.items[i]; ++i) {
            hive_type t;
            size_t length = 0;
            if (hivex_value_type(Hive(), values.items[i], &t, &length) != 0) continue;
            HivexText key{hivex_value_key(Hive(), values.items[i])};
            size_t nameLength = key.text ? Utf8ToUtf16(key.text).size() : 0;
            shapes.push_back(ValueShape{nameLength, static_cast<DWORD>(t), length});
        }
        return shapes;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    hive_h* Hive() const { return store_.Hive(); }


    // The subkeys in the file's order: read from the file as it was opened
    // while this key has not grown (libhivex also refuses to list more than
    // 70,000), else from libhivex.
    const std::vector<hive_node_h>& Children() {
        if (!childrenLoaded_) {
            children_.clear();
            if (!store_.ChildrenFromFile(node_, &children_)) {
                children_.clear();
                HivexArray<hive_node_h> list{hivex_node_children(Hive(), node_)};
                for (size_t i = 0; list.items && list.items[i]; ++i) children_.push_back(list.items[i]);
            }
            childrenLoaded_ = true;
        }
        return children_;
    }

    hive_node_h Lookup(std::u16string_view name) {
        hive_node_h found = 0;
        if (!childrenLoaded_ && store_.FindInFile(node_, name, kScanLimit, &found)) return found;
        const auto& children = Children();
        if (lastIndex_ < children.size() && store_.NameIs(children[lastIndex_], name)) return children[lastIndex_];
        if (children.size() <= kScanLimit) {
            for (hive_node_h child : children)
                if (store_.NameIs(child, name)) return child;
            return 0;
        }
        if (!indexed_) {
            index_.reserve(children.size());
            std::u16string childName;
            for (hive_node_h child : children) {
                store_.NameOf(child, &childName);
                index_.emplace(Folded(childName), child);
            }
            indexed_ = true;
        }
        auto it = index_.find(Folded(name));
        return it == index_.end() ? 0 : it->second;
    }

    hive_value_h FindValue(std::u16string_view name) const {
        HivexArray<hive_value_h> values{hivex_node_values(Hive(), node_)};
        for (size_t i = 0; values.items && values.items[i]; ++i) {
            HivexText key{hivex_value_key(Hive(), values.items[i])};
            if (key.text && EqualsFolded(Utf8ToUtf16(key.text), name)) return values.items[i];
        }
        return 0;
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
    unsigned char base[4096];
    file.read(reinterpret_cast<char*>(base), sizeof base);
    auto read = static_cast<size_t>(file.gcount());
    file.seekg(0, std::ios::end);
    auto size = static_cast<unsigned long long>(file.tellg());
    if (read < sizeof base || std::memcmp(base, "regf", 4) != 0) {
        *error = path + ": not a registry hive (no \"regf\" base block)";
        return nullptr;
    }
    uint32_t primary = Le32(base + 4), secondary = Le32(base + 8);
    if (primary != secondary) {
        *error = path + ": the hive is dirty (sequence numbers " + std::to_string(primary) + " and " +
                 std::to_string(secondary) +
                 "): Windows has not replayed its transaction logs, so its contents are stale";
        return nullptr;
    }
    if (4096ull + Le32(base + 0x28) > size) {
        *error = path + ": the hive is truncated (its base block names " + std::to_string(Le32(base + 0x28)) +
                 " bytes of hive bins; the file holds " + std::to_string(size - 4096) + ")";
        return nullptr;
    }
    errno = 0;
    hive_h* hive = hivex_open(path.c_str(), 0);
    if (!hive) {
        *error = path + ": libhivex cannot read the hive: " + std::strerror(errno ? errno : EINVAL);
        return nullptr;
    }
    auto store = std::make_unique<HiveStore>(hive, path);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        close(fd);
        if (mapped != MAP_FAILED) {
            store->file_.bytes = static_cast<unsigned char*>(mapped);
            store->file_.size = size;
        }
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
    const unsigned char* nk = !grown_.empty() && grown_.count(node) ? nullptr : RecordInFile(node);
    size_t subkeys = nk ? Le32(nk + 20) : hivex_node_nr_children(hive_, node);
    if (subkeys > kScanLimit) kept_.emplace(node, made);
    return made;
}

const unsigned char* HiveStore::RecordInFile(hive_node_h node) const {
    if (!file_.bytes || node + 4 + 76 > file_.size || (!created_.empty() && created_.count(node))) return nullptr;
    const unsigned char* nk = file_.bytes + node + 4;
    if (std::memcmp(nk, "nk", 2) != 0 || node + 4 + 76 + Le16(nk + 72) > file_.size) return nullptr;
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
    // libhivex holds the whole hive (it reads every cell when it opens it):
    // the mapping's pages are given back now and then, so that the file is
    // not held twice.
    if (++namesRead_ % kGiveBackEvery == 0 && file_.bytes) madvise(file_.bytes, file_.size, MADV_DONTNEED);
    const unsigned char* nk = RecordInFile(node);
    if (!nk) return nullptr;
    *latin1 = Le16(nk + 2) & 0x20;  // one byte a character
    *length = *latin1 ? Le16(nk + 72) : Le16(nk + 72) / 2;
    return nk + 76;
}

void HiveStore::NameOf(hive_node_h node, std::u16string* out) const {
    size_t length = 0;
    bool latin1 = false;
    if (const unsigned char* name = NameInFile(node, &length, &latin1)) {
        out->resize(length);
        for (size_t i = 0; i < length; ++i) (*out)[i] = latin1 ? name[i] : Le16(name + 2 * i);
        return;
    }
    HivexText name{hivex_node_name(hive_, node)};
    *out = name.text ? Utf8ToUtf16(name.text) : std::u16string();
}

bool HiveStore::NameIs(hive_node_h node, std::u16string_view wanted) const {
    size_t length = 0;
    bool latin1 = false;
    const unsigned char* name = NameInFile(node, &length, &latin1);
    if (!name) {
        std::u16string text;
        NameOf(node, &text);
        return EqualsFolded(text, wanted);
    }
    if (length != wanted.size()) return false;
    for (size_t i = 0; i < length; ++i) {
        char16_t c = latin1 ? name[i] : Le16(name + 2 * i);
        if (c != wanted[i] && FoldCase(c) != FoldCase(wanted[i])) return false;
    }
    return true;
}

size_t HiveStore::NameLength(hive_node_h node) const {
    size_t length = 0;
    bool latin1 = false;
    if (NameInFile(node, &length, &latin1)) return length;
    std::u16string text;
    NameOf(node, &text);
    return text.size();
}

HiveStore::Mapping::~Mapping() {
    if (bytes) munmap(bytes, size);
}

bool HiveStore::ChildrenFromFile(hive_node_h node, std::vector<hive_node_h>* children) const {
    const unsigned char* b = file_.bytes;
    if ((!grown_.empty() && grown_.count(node)) || !RecordInFile(node)) return false;
    uint32_t list = Le32(b + node + 4 + 28);
    std::vector<hive_node_h> found;
    auto append = [&](hive_node_h child) {
        found.push_back(child);
        return true;
    };
    if (list != kNone32 && !VisitList(kFirstBin + list, 0, append)) return false;
    if (found.size() != Le32(b + node + 4 + 20)) return false;
    *children = std::move(found);
    return true;
}

bool HiveStore::FindInFile(hive_node_h node, std::u16string_view name, size_t limit, hive_node_h* found) const {
    const unsigned char* nk = !grown_.empty() && grown_.count(node) ? nullptr : RecordInFile(node);
    if (!nk || Le32(nk + 20) > limit) return false;
    *found = 0;
    uint32_t list = Le32(nk + 28);
    if (list == kNone32 || Le32(nk + 20) == 0) return true;
    return VisitList(kFirstBin + list, 0, [&](hive_node_h child) {
        if (!NameIs(child, name)) return true;
        *found = child;
        return false;
    });
}

// Visits the keys of an lf, lh or li list, or of the lists an ri list names,
// until visit answers false; false for a list that is damaged.
bool HiveStore::VisitList(size_t offset, int depth, const std::function<bool(hive_node_h)>& visit) const {
    if (offset + 8 > file_.size) return false;
    const unsigned char* cell = file_.bytes + offset + 4;
    size_t count = Le16(cell + 2);
    bool hinted = std::memcmp(cell, "lf", 2) == 0 || std::memcmp(cell, "lh", 2) == 0;
    bool plain = std::memcmp(cell, "li", 2) == 0;
    bool index = std::memcmp(cell, "ri", 2) == 0 && depth == 0;
    size_t stride = hinted ? 8 : 4;
    if (!hinted && !plain && !index) return false;
    if (offset + 8 + count * stride > file_.size) return false;
    bool going = true;
    for (size_t i = 0; i < count && going; ++i) {
        size_t at = kFirstBin + Le32(cell + 4 + i * stride);
        if (!index) {
            going = visit(at);
            continue;
        }
        bool stopped = false;
        if (!VisitList(at, depth + 1, [&](hive_node_h child) { return !(stopped = !visit(child)); })) return false;
        going = !stopped;
    }
    return true;
}

bool HiveStore::Commit(const std::string& path, std::string* error) {
    errno = 0;
    if (hivex_commit(hive_, path.c_str(), 0) == 0) return true;
    *error = std::strerror(errno ? errno : EIO);
    return false;
}

}  // namespace standin
