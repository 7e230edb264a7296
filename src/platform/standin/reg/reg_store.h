// The .reg store: a registry exported to a .reg file, held as the file's
// tree of keys, and written back as the file's text with the run's edits.
#pragma once

#include <memory>
#include <string>

#include "platform/standin/reg/file_format.h"
#include "platform/standin/reg/key_tree.h"
#include "platform/standin/store/store.h"

namespace standin {

// Owns the tree of keys and the loaded file's form; a failed write is false,
// its reason the system's (errno).
class RegStore : public Store {
public:
    // An empty registry: the roots, and a new file's form (UTF-16LE, CR LF).
    RegStore();
    // Parses file bytes; null, with "<name>:<line>: <reason>" in *error, for
    // text that is no .reg file.
    static std::unique_ptr<RegStore> Parse(std::string bytes, const std::string& name, std::string* error);

    std::shared_ptr<Node> Root(HKEY root) override;
    bool Write(const std::string& path, int fd, std::string* error) override;

    // The registry as file bytes, in the form the file had.
    std::string Text() const;
    Tree& Keys() { return *tree_; }

private:
    std::shared_ptr<Tree> tree_;
    FileFormat format_;
};

}  // namespace standin
