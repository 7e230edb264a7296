// The registry links of 64-bit Windows (7 and later), as a tree follows them:
// below a classes key (HKLM\SOFTWARE\Classes, a user's Software\Classes),
// Wow6432Node\AppID, \Protocols and \TypeLib are the shared keys of the same
// names; SOFTWARE\Wow6432Node\Classes is SOFTWARE\Classes\Wow6432Node.
#pragma once

#include "platform/standin/reg/key_tree.h"

namespace standin {

// Whether the key holds a registry's classes: HKLM\SOFTWARE\Classes,
// HKCU\Software\Classes, HKU\<user>\Software\Classes or HKU\<user>_Classes.
bool IsClassesKey(const Key* key);
// Whether Classes\Wow6432Node\<name> is a link to Classes\<name>: AppID,
// Protocols, TypeLib.
bool IsLinkedFromWow6432Node(NameView name);
// Where a child of that name of parent really lies, when parent\name is a
// link: the key that holds it, with *name made the name it has there; null
// when it is no link. With create, the holder is made if it is missing.
Key* LinkHolder(const Key* parent, NameView* name, bool create);

}  // namespace standin
