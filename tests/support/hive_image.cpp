#include "support/hive_image.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>

#include "platform/standin/hive/regf_layout.h"
#include "platform/standin/text/text_codec.h"

namespace test_support {

namespace regf = standin::regf;

namespace {

// The self-relative security descriptor every key refers to: owner and
// group S-1-5-32-544 (Administrators), a null DACL.
std::vector<uint8_t> SecurityDescriptor() {
    static const uint8_t kAdministrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0, 0};
    std::vector<uint8_t> sd(52, 0);
    sd[0] = 1;                // revision
    sd[2] = 0x04;             // DACL present
    sd[3] = 0x80;             // self-relative
    sd[4] = 20;               // owner
    sd[8] = 36;               // group
    std::memcpy(&sd[20], kAdministrators, 16);
    std::memcpy(&sd[36], kAdministrators, 16);
    return sd;
}

template <typename Record>
void Put(std::vector<uint8_t>& bytes, size_t at, const Record& record) {
    std::memcpy(&bytes[at], &record, sizeof record);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    std::memcpy(&bytes[at], &value, 4);
}

regf::BaseBlock BaseBlock(uint32_t rootCell, uint32_t binsSize, uint32_t minorVersion) {
    regf::BaseBlock base{};
    std::memcpy(base.signature, "regf", 4);
    base.primarySequence = base.secondarySequence = 1;
    base.majorVersion = 1;
    base.minorVersion = minorVersion;
    base.fileFormat = 1;
    base.rootCell = rootCell;
    base.binsSize = binsSize;
    base.clustering = 1;
    base.checksum = regf::Checksum(reinterpret_cast<const unsigned char*>(&base));
    return base;
}

// A name as the format keeps it: Latin-1 when it can be (flag set), else UTF-16LE.
std::vector<uint8_t> NameBytes(const std::u16string& name, bool* latin1) {
    *latin1 = std::all_of(name.begin(), name.end(), [](char16_t c) { return c <= 0xFF; });
    std::vector<uint8_t> bytes;
    for (char16_t c : name) {
        bytes.push_back(static_cast<uint8_t>(c));
        if (!*latin1) bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

std::u16string Upper(const std::u16string& name) {
    std::u16string upper = name;
    for (auto& c : upper)
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = static_cast<char16_t>(c - 32);
    return upper;
}

// The whole tree as cells of one hive bin, written in one pass.
class DirectWriter {
public:
    explicit DirectWriter(uint32_t minorVersion) : minorVersion_(minorVersion) {}

    HiveImage Write(const standin::Key& software) {
        bin_.assign(sizeof(regf::BinHeader), 0);
        sk_ = SecurityCell();
        uint32_t root = WriteKey(software, regf::kNoCell, u"");
        regf::SecurityRecord sk = regf::Read<regf::SecurityRecord>(&bin_[sk_ + regf::kCellHeader]);
        sk.references = keys_;  // every key refers to the one security cell
        Put(bin_, sk_ + regf::kCellHeader, sk);
        size_t size = (bin_.size() + 8 + regf::kBaseBlockSize - 1) / regf::kBaseBlockSize * regf::kBaseBlockSize;
        size_t freeCell = bin_.size();
        bin_.resize(size, 0);
        Put32(bin_, freeCell, static_cast<uint32_t>(size - freeCell));
        regf::BinHeader header{};
        std::memcpy(header.signature, "hbin", 4);
        header.size = static_cast<uint32_t>(size);
        Put(bin_, 0, header);
        HiveImage image;
        image.bytes.assign(regf::kBaseBlockSize, 0);
        Put(image.bytes, 0, BaseBlock(root, static_cast<uint32_t>(size), minorVersion_));
        image.bytes.insert(image.bytes.end(), bin_.begin(), bin_.end());
        for (auto& [path, cell] : paths_) image.keys[path] = static_cast<uint32_t>(regf::kFirstBin + cell);
        return image;
    }

private:
    // A new cell of at least `bytes` (after its size field); its offset in the bin.
    uint32_t Cell(size_t bytes) {
        size_t size = (bytes + regf::kCellHeader + 7) / 8 * 8;
        auto at = static_cast<uint32_t>(bin_.size());
        bin_.resize(bin_.size() + size, 0);
        Put32(bin_, at, static_cast<uint32_t>(-static_cast<int32_t>(size)));
        return at;
    }

    uint32_t SecurityCell() {
        std::vector<uint8_t> sd = SecurityDescriptor();
        uint32_t at = Cell(sizeof(regf::SecurityRecord) + sd.size());
        regf::SecurityRecord sk{};
        std::memcpy(sk.signature, "sk", 2);
        sk.next = sk.previous = at;
        sk.descriptorSize = static_cast<uint32_t>(sd.size());
        Put(bin_, at + regf::kCellHeader, sk);
        std::copy(sd.begin(), sd.end(), bin_.begin() + at + regf::kCellHeader + sizeof sk);
        return at;
    }

    // Data of more than a cell's worth, in a hive that keeps it so: a
    // big-data record naming its segments.
    uint32_t DataCell(const std::vector<uint8_t>& bytes) {
        if (minorVersion_ < 4 || bytes.size() <= regf::kLargestCellData) {
            uint32_t data = Cell(bytes.size());
            std::copy(bytes.begin(), bytes.end(), bin_.begin() + data + regf::kCellHeader);
            return data;
        }
        std::vector<uint32_t> segments;
        for (size_t from = 0; from < bytes.size(); from += regf::kLargestCellData) {
            size_t n = std::min(regf::kLargestCellData, bytes.size() - from);
            uint32_t segment = Cell(n);
            std::copy(bytes.begin() + from, bytes.begin() + from + n, bin_.begin() + segment + regf::kCellHeader);
            segments.push_back(segment);
        }
        uint32_t list = Cell(4 * segments.size());
        for (size_t i = 0; i < segments.size(); ++i) Put32(bin_, list + regf::kCellHeader + 4 * i, segments[i]);
        uint32_t db = Cell(sizeof(regf::BigDataRecord));
        regf::BigDataRecord record{};
        std::memcpy(record.signature, "db", 2);
        record.segments = static_cast<uint16_t>(segments.size());
        record.segmentList = list;
        Put(bin_, db + regf::kCellHeader, record);
        return db;
    }

    uint32_t ValueCell(const standin::Value& v) {
        bool latin1 = false;
        std::vector<uint8_t> name = NameBytes(v.name, &latin1);
        uint32_t at = Cell(sizeof(regf::ValueRecord) + name.size());
        const std::vector<uint8_t>& bytes = v.Data();
        regf::ValueRecord vk{};
        std::memcpy(vk.signature, "vk", 2);
        vk.nameLength = static_cast<uint16_t>(name.size());
        vk.dataSize = static_cast<uint32_t>(bytes.size());
        if (bytes.size() <= 4) {
            vk.dataSize |= regf::kDataInline;
            std::memcpy(&vk.dataOffset, bytes.data(), bytes.size());
        } else {
            vk.dataOffset = DataCell(bytes);
        }
        vk.type = v.type;
        vk.flags = latin1 ? regf::kAsciiValueName : 0;
        Put(bin_, at + regf::kCellHeader, vk);
        std::copy(name.begin(), name.end(), bin_.begin() + at + regf::kCellHeader + sizeof vk);
        return at;
    }

    using Children = std::vector<std::pair<uint32_t, std::u16string>>;

    // An "lh" list of the keys.
    uint32_t HashedList(const Children& children, size_t from, size_t count) {
        uint32_t at = Cell(sizeof(regf::ListHeader) + sizeof(regf::HintedEntry) * count);
        regf::ListHeader header{{'l', 'h'}, static_cast<uint16_t>(count)};
        Put(bin_, at + regf::kCellHeader, header);
        for (size_t i = 0; i < count; ++i) {
            uint32_t hash = 0;
            for (char16_t c : children[from + i].second) hash = hash * 37 + c;
            Put(bin_, at + regf::kCellHeader + sizeof header + sizeof(regf::HintedEntry) * i,
                regf::HintedEntry{children[from + i].first, hash});
        }
        return at;
    }

    // One list of the keys, or an "ri" list of such lists for many keys.
    uint32_t SubkeyList(const Children& children) {
        constexpr size_t kPerList = 500;
        if (children.empty()) return regf::kNoCell;
        if (children.size() <= kPerList) return HashedList(children, 0, children.size());
        std::vector<uint32_t> lists;
        for (size_t from = 0; from < children.size(); from += kPerList)
            lists.push_back(HashedList(children, from, std::min(kPerList, children.size() - from)));
        uint32_t at = Cell(sizeof(regf::ListHeader) + 4 * lists.size());
        Put(bin_, at + regf::kCellHeader, regf::ListHeader{{'r', 'i'}, static_cast<uint16_t>(lists.size())});
        for (size_t i = 0; i < lists.size(); ++i) Put32(bin_, at + regf::kCellHeader + sizeof(regf::ListHeader) + 4 * i, lists[i]);
        return at;
    }

    uint32_t WriteKey(const standin::Key& key, uint32_t parent, const std::u16string& path) {
        ++keys_;
        bool root = parent == regf::kNoCell;
        bool latin1 = false;
        std::vector<uint8_t> name = NameBytes(root ? u"ROOT" : key.Name().ToUtf16(), &latin1);
        uint32_t nk = Cell(sizeof(regf::KeyRecord) + name.size());
        paths_[path] = nk;
        regf::KeyRecord record{};
        Children children;
        for (const standin::Key* child : key.OrderedChildren()) {
            std::u16string childName = child->Name().ToUtf16();
            std::u16string lower = childName;
            for (auto& c : lower) c = standin::FoldCase(c);
            children.emplace_back(WriteKey(*child, nk, path.empty() ? lower : path + u"\\" + lower), Upper(childName));
            record.longestSubkeyName = std::max<uint32_t>(record.longestSubkeyName, static_cast<uint32_t>(childName.size() * 2));
        }
        std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        record.subkeyList = SubkeyList(children);
        record.valueList = regf::kNoCell;
        if (!key.Values().empty()) {
            std::vector<uint32_t> cells;
            for (const standin::Value& v : key.Values()) {
                cells.push_back(ValueCell(v));
                record.longestValueName = std::max<uint32_t>(record.longestValueName, static_cast<uint32_t>(v.name.size() * 2));
                record.longestValueData = std::max<uint32_t>(record.longestValueData, static_cast<uint32_t>(v.Data().size()));
            }
            record.valueList = Cell(4 * cells.size());
            for (size_t i = 0; i < cells.size(); ++i) Put32(bin_, record.valueList + regf::kCellHeader + 4 * i, cells[i]);
        }
        std::memcpy(record.signature, "nk", 2);
        record.flags = static_cast<uint16_t>((root ? 0x0C : 0) | (latin1 ? regf::kAsciiName : 0));
        record.lastWritten = 0x01D0000000000000ull;  // some day in 2014
        record.parent = parent;
        record.subkeys = static_cast<uint32_t>(children.size());
        record.volatileSubkeyList = regf::kNoCell;
        record.values = static_cast<uint32_t>(key.Values().size());
        record.security = sk_;
        record.className = regf::kNoCell;
        record.nameLength = static_cast<uint16_t>(name.size());
        Put(bin_, nk + regf::kCellHeader, record);
        std::copy(name.begin(), name.end(), bin_.begin() + nk + regf::kCellHeader + sizeof record);
        return nk;
    }

    uint32_t minorVersion_;
    std::vector<uint8_t> bin_;
    uint32_t sk_ = 0;
    uint32_t keys_ = 0;
    std::map<std::u16string, uint32_t> paths_;
};

}  // namespace

std::vector<uint8_t> EmptyHive() {
    standin::Tree tree;
    standin::Key* root = tree.NewRoot(u"ROOT");
    std::vector<uint8_t> hive = DirectWriter(3).Write(*root).bytes;
    return hive;
}

HiveImage DirectHive(const standin::Key& software, uint32_t minorVersion) {
    return DirectWriter(minorVersion).Write(software);
}

bool CopyThroughLibhivex(hive_h* hive, hive_node_h node, const standin::Key& key) {
    for (const standin::Value& v : key.Values()) {
        std::string name = standin::Utf16ToUtf8(v.name);
        std::vector<uint8_t> data = v.Data();
        hive_set_value value{name.data(), hive_t_REG_NONE, data.size(), reinterpret_cast<char*>(data.data())};
        std::memcpy(&value.t, &v.type, sizeof v.type);
        if (hivex_node_set_value(hive, node, &value, 0) != 0) return false;
    }
    for (const standin::Key* child : key.OrderedChildren()) {
        std::string name = standin::Utf16ToUtf8(child->Name().ToUtf16());
        hive_node_h made = hivex_node_get_child(hive, node, name.c_str());
        if (!made) made = hivex_node_add_child(hive, node, name.c_str());
        if (!made || !CopyThroughLibhivex(hive, made, *child)) return false;
    }
    return true;
}

hive_node_h AddAppIdLink(hive_h* hive, const std::u16string& target) {
    hive_node_h classes = hivex_node_get_child(hive, hivex_root(hive), "Classes");
    hive_node_h wow = classes ? hivex_node_get_child(hive, classes, "Wow6432Node") : 0;
    if (!wow) wow = classes ? hivex_node_add_child(hive, classes, "Wow6432Node") : 0;
    hive_node_h link = wow ? hivex_node_add_child(hive, wow, "AppID") : 0;
    if (!link) return 0;
    std::string bytes;
    for (char16_t c : target) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    hive_set_value value{const_cast<char*>("SymbolicLinkValue"), hive_t_REG_LINK, bytes.size(), bytes.data()};
    return hivex_node_set_value(hive, link, &value, 0) == 0 ? link : 0;
}

bool FlagAsLink(const std::string& path, hive_node_h key) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const auto at = static_cast<std::streamoff>(key + regf::kCellHeader + offsetof(regf::KeyRecord, flags));
    uint16_t flags = 0;
    file.seekg(at);
    file.read(reinterpret_cast<char*>(&flags), 2);
    flags |= regf::kSymbolicLink;
    file.seekp(at);
    file.write(reinterpret_cast<const char*>(&flags), 2);
    return static_cast<bool>(file);
}

}  // namespace test_support
