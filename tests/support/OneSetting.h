// The creation options with one input changed, named by its stored name (the folder is always
// `path`): written out here, apart from the program's table of inputs, so that a test walking
// that table has an answer of its own.
#pragma once

#include <string>

#include "names/RenameOptions.h"

namespace tovana::test {

inline RenameOptions WithOneSetting(const std::string& name, const std::string& path,
                                    const std::string& masks) {
    RenameOptions o;
    o.Path = path;
    if (name == "Masks") {
        o.Masks = masks;
    }
    o.SubDir = name == "SubDir";
    o.RenameDir = name == "RenameDir";
    o.ReplaceSpace = name == "ReplaceSpace";
    o.RemoveSpace = name == "RemoveSpace";
    o.ReplaceUnderline = name == "ReplaceUnderline";
    o.RemoveUnderline = name == "RemoveUnderline";
    o.ToUpperCase = name == "ToUpperCase";
    o.ToLowerCase = name == "ToLowerCase";
    o.NonAlphaNum = name == "NonAlphaNum";
    return o;
}

}  // namespace tovana::test
