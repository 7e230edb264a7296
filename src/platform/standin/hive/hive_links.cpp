// Link keys of a hive, as 64-bit Windows stores them (Classes\Wow6432Node\AppID,
// SOFTWARE\Wow6432Node\Classes, ...): a key flagged KEY_SYM_LINK whose REG_LINK
// value SymbolicLinkValue names the key it stands for.
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/standin/hive/hive_store.h"
#include "platform/standin/hive/regf_layout.h"
#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

constexpr int kMostLinks = 8;  // links followed for one name: more is a loop
constexpr std::u16string_view kHiveRoot = u"\\REGISTRY\\MACHINE\\SOFTWARE";

// The target path of a link key, or false when it cannot be read as one.
bool LinkPath(hive_h* hive, hive_node_h node, std::u16string* path) {
    hive_value_h value = hivex_node_get_value(hive, node, "SymbolicLinkValue");
    if (!value) return false;
    hive_type type{};
    size_t length = 0;
    std::unique_ptr<char, decltype(&std::free)> bytes(hivex_value_value(hive, value, &type, &length), &std::free);
    if (!bytes || type != hive_t_REG_LINK || length % 2) return false;
    path->clear();
    for (size_t i = 0; i + 1 < length; i += 2)
        path->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes.get()[i]) |
                                              static_cast<unsigned char>(bytes.get()[i + 1]) << 8));
    while (!path->empty() && path->back() == 0) path->pop_back();
    return true;
}

}  // namespace

LONG HiveStore::Followed(hive_node_h node, hive_node_h* target, int depth) const {
    *target = node;
    const unsigned char* nk = RecordInFile(node);
    if (!nk || !(regf::Read<regf::KeyRecord>(nk).flags & regf::kSymbolicLink)) return ERROR_SUCCESS;
    std::u16string path;
    if (depth >= kMostLinks || !LinkPath(hive_, node, &path)) return ERROR_BADDB;
    if (path.size() < kHiveRoot.size() || !EqualsFolded(path.substr(0, kHiveRoot.size()), kHiveRoot) ||
        (path.size() > kHiveRoot.size() && path[kHiveRoot.size()] != u'\\'))
        return ERROR_BADDB;  // a key outside this hive
    hive_node_h at = hivex_root(hive_);
    std::u16string_view rest = std::u16string_view(path).substr(kHiveRoot.size());
    while (!rest.empty()) {
        size_t end = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
        if (part.empty()) continue;
        errno = 0;
        hive_node_h child = hivex_node_get_child(hive_, at, Utf16ToUtf8(part).c_str());
        if (!child) return errno ? ERROR_BADDB : ERROR_FILE_NOT_FOUND;
        if (LONG status = Followed(child, &at, depth + 1)) return status;
    }
    *target = at;
    return ERROR_SUCCESS;
}

}  // namespace standin
