#include "platform/standin/reg/key_links.h"

#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

bool Is(NameView name, std::u16string_view text) {
    return name.Equals(NameView::Wide(text));
}

// HKLM\SOFTWARE, HKCU\Software or HKU\<user>\Software.
bool IsSoftwareKey(const Key* key) {
    const Key* root = key->Parent();
    if (!root || !Is(key->Name(), u"SOFTWARE")) return false;
    if (!root->Parent()) return Is(root->Name(), u"HKEY_LOCAL_MACHINE") || Is(root->Name(), u"HKEY_CURRENT_USER");
    return root->Parent() && !root->Parent()->Parent() && Is(root->Parent()->Name(), u"HKEY_USERS");
}

bool EndsWithClasses(NameView name) {
    const std::u16string_view suffix = u"_Classes";
    if (name.size() <= suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (FoldCase(name[name.size() - suffix.size() + i]) != FoldCase(suffix[i])) return false;
    return true;
}

}  // namespace

bool IsClassesKey(const Key* key) {
    const Key* parent = key->Parent();
    if (!parent) return false;
    if (Is(key->Name(), u"Classes") && IsSoftwareKey(parent)) return true;
    return !parent->Parent() && Is(parent->Name(), u"HKEY_USERS") && EndsWithClasses(key->Name());
}

bool IsLinkedFromWow6432Node(NameView name) {
    return Is(name, u"AppID") || Is(name, u"Protocols") || Is(name, u"TypeLib");
}

Key* LinkHolder(const Key* parent, NameView* name, bool create) {
    const Key* above = parent->Parent();
    if (!above || !Is(parent->Name(), u"Wow6432Node")) return nullptr;
    if (IsClassesKey(above) && IsLinkedFromWow6432Node(*name)) return const_cast<Key*>(above);
    if (IsSoftwareKey(above) && Is(*name, u"Classes")) {
        Key* classes = create ? const_cast<Key*>(above)->AddChild(u"Classes") : above->Child(u"Classes");
        if (!classes) return nullptr;
        *name = NameView::Wide(u"Wow6432Node");
        return classes;
    }
    return nullptr;
}

}  // namespace standin
