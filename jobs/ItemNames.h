// Which catalogue paths of an offline update the job may store as listed: two paths that
// are one file on Windows, or a path the tool writes itself, would join or destroy files.
#pragma once

enum class ItemName {
    // A file of its own.
    kOwn,
    // One file with an earlier item of the run: fetched whole, never continued or kept,
    // so that the last one stays, as on a first run.
    kAfterAnEarlier,
    // A name the tool writes itself (latest.xml, latest.xml.part, or a listed path
    // followed by ".part"): refused, as a path outside the target is.
    kTools,
};

// Names each of the `count` catalogue paths, in the job's order, as Windows compares file
// names (FileKey). False when memory runs out.
bool NameItems(const char* const* paths, int count, ItemName* names);
