#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace tabulon {

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view text);

// A file name as the text report, --brief and messages show it: as it is,
// unless it holds a control character (C0, DEL or C1), bytes that are not
// UTF-8, or a leading or trailing space, so that no name can break a line,
// forge a message or reach the terminal as a command. Such a name is quoted
// as `ls --quoting-style=shell-escape` quotes it, and a shell reads it back
// as the same bytes: 'new'$'\n''line.dsk', 'bad'$'\377''.dsk', ' lead.dsk'.
// The empty name is ''.
std::string ShownName(std::string_view name);
void WriteShownName(std::ostream& out, std::string_view name);  // the same, without building a string

// The path made absolute against the current directory, for display only: links
// are not resolved and "." components are dropped, but a last one. The path as
// given when there is no current directory (deleted) or the name is empty.
std::string AbsolutePath(const std::string& path);

// The bytes of text in lower-case hexadecimal, two digits each: "ff2e".
std::string HexBytes(std::string_view text);

}  // namespace tabulon
