// The settings store: the registry values the library reads and writes under
// HKEY_LOCAL_MACHINE, kept in one human-readable file, $GC6890_HOME/registry.ini.
//
// A value's path is backslash-separated and its last element names the value:
// "Inlets\Hubrel\Varnock\MethodRetry" is the value MethodRetry of the key
// "Inlets\Hubrel\Varnock". In the file a key is a section and a value a Name=value line:
//
//     [Inlets\Hubrel\Varnock]
//     MethodRetry=2
//
// Keys and names are matched without regard to case, as the registry does. Values are
// text; an integer read parses the text and leaves the caller's default standing when it
// is not a whole decimal integer within int's range. Spaces around names and values are
// not part of them.
//
// The file "cannot be parsed" when one of its lines is none of these, after trimming
// spaces, tabs and a carriage return: blank; a comment (first character ';' or '#'); a
// section "[key path]"; or "Name=value" with a name that is not empty. Such a store is never
// overwritten: the first read or write that meets it moves it aside to
// "registry.ini.bad-<date and time>", says so once on standard error, and from then on the
// store starts empty (reads give the defaults).
//
// Writes are atomic and lose nothing to another writer: under an exclusive flock on
// "registry.ini.lock" the file is read again, changed, written whole to "registry.ini.tmp",
// flushed to disk and renamed over the store. A reader needs no lock: it sees the old file
// or the new one, never a half-written one. Comments and the order of lines survive a
// write.
#pragma once

#include <string>
#include <string_view>

namespace gc6890 {

class SettingsStore {
public:
    // The store in homeDirectory().
    SettingsStore();
    explicit SettingsStore(std::string filePath);

    // True when the value is present (and, for readInt, a valid integer): `value` is set.
    // Otherwise `value` keeps what the caller put there, the default.
    bool readInt(std::string_view path, int& value) const;
    bool readText(std::string_view path, std::string& value) const;

    // Creates the key as needed and stores the value. False when the path has no value
    // name, the text holds a line break or NUL, or the file cannot be locked or written
    // (the store is then as before).
    bool writeInt(std::string_view path, int value);
    bool writeText(std::string_view path, std::string_view value);

    const std::string& filePath() const { return m_filePath; }

private:
    std::string m_filePath;
};

// Test hook: called by a write after the temporary file is written and before it replaces
// the store (null for none). Lets a test stop a writer in the middle of a write.
void setSettingsWriteHook(void (*hook)());

}  // namespace gc6890
