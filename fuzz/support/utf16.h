#pragma once
// A portable stand-in for mrvUtils::M2W: UTF-8 to UTF-16 code units (kept in a
// wstring, one unit per element, as on Windows). A byte that does not start a
// well-formed sequence becomes U+FFFD, as MultiByteToWideChar does.
#include <string>

namespace fuzzsupport {

std::wstring Utf8ToUtf16(const std::string& utf8);

} // namespace fuzzsupport
