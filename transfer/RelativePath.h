// Checking that a name from a pack or the catalogue stays inside the folder it is joined to.
#pragma once

// True when `name` is relative and cannot climb out: no drive, no leading separator
// (so no UNC), no `:` anywhere, and no component of two or more dots with only
// dots and blanks (Windows strips trailing dots and blanks, so "..." and ".. " are
// ".." too). `\` and `/` both separate.
bool IsContainedRelativePath(const char* name);
