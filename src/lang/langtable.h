// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

// Every text a language file can replace, in the order the file is applied, with its
// built-in English default. A new element is one more row.
namespace lang {

enum class Window : unsigned char { None, Main, Graph, Temperature };
enum class Section : unsigned char { String, Menu };

enum Flag : unsigned {
    Caption = 1, // the key sets the element's caption
    Hint = 2,    // the key + "-H" sets its hint
    Both = Caption | Hint,
    Held = 4,       // kept as a program-wide text (messages and menu texts)
    Escaped = 8,    // the value passes through the escape expansion
    TwoBlanks = 16, // the caption is two blanks followed by the value
    GridHeader = 32 // the caption's lines are the header cells of a grid
};

struct KeyRow
{
    Window window;
    Section section;
    const char *key;
    const char *element; // objectName; null for held texts
    unsigned flags;
    const char *caption; // default of the key (UTF-8)
    const char *hint;    // default of the hint key
};

std::span<const KeyRow> keyTable();

} // namespace lang
