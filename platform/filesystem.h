// File names in the engine and the tools are UTF-8 text. The standard library on Windows
// reads a narrow string as the ANSI code page, so every name goes through these helpers on
// its way to std::filesystem and the file streams, and back.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

/// The path named by the UTF-8 text Utf8. Never throws for bad text: on Windows a broken
/// sequence becomes U+FFFD (such a name cannot exist there); elsewhere the bytes are kept.
std::filesystem::path FsPath(std::string_view Utf8);

/// Path as UTF-8 text, in the system's own separators; never throws.
std::string Utf8Path(const std::filesystem::path& Path);

/// std::fopen of the file named by the UTF-8 text Utf8; errno says why on failure.
std::FILE* OpenFile(const std::string& Utf8, const char* Mode);

/// Path as UTF-8 text with "/" between folders on every system, for names that documents
/// keep (a Windows name reads the same on Linux, where "\\" is a letter of a name).
std::string Utf8GenericPath(const std::filesystem::path& Path);

/// The folder of the running program as UTF-8, without a trailing separator; the working
/// folder when the system does not tell.
std::string ProgramFolder();

}  // namespace platform
