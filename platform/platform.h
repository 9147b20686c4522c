// Our stand-ins for the operating system the scenes were made on: file names.
//
// Scene and object files name other files with Windows paths ("Objects\ship.lwo",
// "textures\Marble.3df"), and Windows matches names without regard to case. Every file
// the system opens goes through openfile, which maps backslashes to slashes and, when the
// exact name does not exist, matches each path component case-insensitively. The names
// stored and logged stay as the files wrote them.
#pragma once

#include <cstddef>
#include <cstdio>

// Writes the host path for a Windows-style name into out (size outsize). Returns 1 when a
// file or folder of that name exists (exactly, or component by component ignoring case);
// 0 when none does or the result does not fit, with out holding the slash-mapped name
// (or empty when that does not fit either).
int resolvepath(const char *name, char *out, size_t outsize);
// fopen through resolvepath: the exact mapped name first, else the case-insensitive match.
FILE *openfile(const char *name, const char *mode);
