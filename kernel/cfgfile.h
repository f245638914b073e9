// The keyword file reader: single values from a text file of lines made of
// a key, one separator character and a value.
//
// One keyword file is open at a time. Every lookup scans it again from its
// first line, so lookups may come in any order and may repeat.
#ifndef ORVANE_KERNEL_CFGFILE_H
#define ORVANE_KERNEL_CFGFILE_H

#include <cstdint>
#include <string>

namespace cfgfile {

// Opens a keyword file, closing one still open: true on success, false when
// it cannot be opened for reading. Either way the failure slot is left clear
// and "!_config_$_tmporary.tmp" in the working directory is deleted.
bool OpenKeywordFile(const std::string& path);

// Closes the keyword file if one is open; a failure ends with the error exit.
void CloseKeywordFile();

// The value of the first line whose trimmed text is longer than the key and
// begins with it (a-z folded): at most 255 characters after the separator,
// trimmed. Empty when no line matches or no file is open.
std::string ReadKeyString(const std::string& key);

// The key's value read by ParseInteger; 0 when it is missing or invalid.
std::int32_t ReadKeyInteger(const std::string& key);

// Reads the whole text as a signed or unsigned decimal, or as hexadecimal
// after "$", "x", "X", "0x" or "0X" (at most 8 significant digits, the 32-bit
// pattern). False, leaving *value alone, for anything else or out of range.
bool ParseInteger(const std::string& text, std::int32_t* value);

// Forgets the open keyword file without closing it, for tests.
void ResetKeywordFile();

}  // namespace cfgfile

#endif  // ORVANE_KERNEL_CFGFILE_H
