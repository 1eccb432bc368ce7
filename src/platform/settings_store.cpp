#include "platform/settings_store.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <vector>

#include "platform/drive_paths.h"

namespace gc6890 {
namespace {

void (*g_writeHook)() = nullptr;

// A writer holds the lock only for one small file write; waiting longer than this means
// something is stuck, and the write gives up rather than hang.
constexpr int lockWaitMilliseconds = 10000;

struct Line {
    enum Kind { Other, Section, Value } kind = Other;
    std::string text;
    std::string key;  // the section of a Value line, or the path of a Section line
    std::string name;
    std::string value;
};

std::string trim(std::string_view text)
{
    const char* blanks = " \t\r";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

bool sameName(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// Splits the file into lines; the number of the first line that cannot be parsed (from 1)
// goes to badLine, 0 when all parse.
std::vector<Line> parse(const std::string& content, int& badLine)
{
    std::vector<Line> lines;
    badLine = 0;
    std::string section;
    size_t start = 0;
    int number = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        Line line;
        line.text = content.substr(start, end - start);
        start = end + 1;
        ++number;
        const std::string trimmed = trim(line.text);
        if (trimmed.find('\0') != std::string::npos) {
            badLine = number;
        } else if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
            line.kind = Line::Other;
        } else if (trimmed.front() == '[' && trimmed.back() == ']') {
            line.kind = Line::Section;
            section = line.key = trim(std::string_view(trimmed).substr(1, trimmed.size() - 2));
        } else if (const size_t equals = trimmed.find('=');
                   equals != std::string::npos && equals > 0) {
            line.kind = Line::Value;
            line.key = section;
            line.name = trim(std::string_view(trimmed).substr(0, equals));
            line.value = trim(std::string_view(trimmed).substr(equals + 1));
        } else {
            badLine = number;
        }
        if (badLine)
            break;
        lines.push_back(std::move(line));
    }
    return lines;
}

bool splitPath(std::string_view path, std::string& key, std::string& name)
{
    const size_t slash = path.rfind('\\');
    key = slash == std::string_view::npos ? std::string() : trim(path.substr(0, slash));
    name = trim(slash == std::string_view::npos ? path : path.substr(slash + 1));
    return !name.empty() && name.find_first_of("=[]\n\r") == std::string::npos;
}

bool readFile(const std::string& path, std::string& content)
{
    content.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;  // no store yet is an empty store
    char buffer[8192];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            close(fd);
            return got == 0;
        }
        content.append(buffer, static_cast<size_t>(got));
    }
}

bool writeAll(int fd, const std::string& content)
{
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The exclusive lock on "<store>.lock", held for the object's life. Waits at most
// lockWaitMilliseconds, polling, so a stuck holder cannot hang the caller.
class StoreLock {
public:
    explicit StoreLock(const std::string& storePath)
    {
        makeDirectories(folderOf(storePath));
        m_fd = open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return;
        for (int waited = 0; flock(m_fd, LOCK_EX | LOCK_NB) != 0; waited += 5) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= lockWaitMilliseconds) {
                close(m_fd);
                m_fd = -1;
                return;
            }
            const timespec pause{0, 5 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }
    ~StoreLock()
    {
        if (m_fd >= 0)
            close(m_fd);  // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

void reportOnce(const std::string& storePath, const std::string& message)
{
    static std::set<std::string> reported;
    if (reported.insert(storePath).second)
        std::fprintf(stderr, "gc6890: %s\n", message.c_str());
}

// Under the lock: moves a store that cannot be parsed aside (bad line given) and reports it.
void setAside(const std::string& storePath, int badLine)
{
    char stamp[32];
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string aside = storePath + ".bad-" + stamp;
    for (int n = 1; n < 1000 && access(aside.c_str(), F_OK) == 0; ++n)
        aside = storePath + ".bad-" + stamp + "-" + std::to_string(n);
    if (rename(storePath.c_str(), aside.c_str()) == 0)
        reportOnce(storePath, "settings store " + storePath + " line " + std::to_string(badLine) +
                                  " cannot be parsed; kept as " + aside + ", defaults apply");
    else
        reportOnce(storePath, "settings store " + storePath + " line " + std::to_string(badLine) +
                                  " cannot be parsed and cannot be moved aside; defaults apply");
}

// The store's lines for reading; a store that cannot be parsed is set aside (under the
// lock, after checking again) and reads as empty.
std::vector<Line> loadForRead(const std::string& storePath)
{
    std::string content;
    if (!readFile(storePath, content))
        return {};
    int badLine = 0;
    std::vector<Line> lines = parse(content, badLine);
    if (!badLine)
        return lines;
    StoreLock lock(storePath);
    if (lock.held() && readFile(storePath, content)) {
        lines = parse(content, badLine);
        if (!badLine)
            return lines;  // a writer replaced it meanwhile
        setAside(storePath, badLine);
    }
    return {};
}

const Line* findValue(const std::vector<Line>& lines, const std::string& key,
                      const std::string& name)
{
    const Line* found = nullptr;  // the last one counts, as when reading in order
    for (const Line& line : lines)
        if (line.kind == Line::Value && sameName(line.key, key) && sameName(line.name, name))
            found = &line;
    return found;
}

void setValue(std::vector<Line>& lines, const std::string& key, const std::string& name,
              const std::string& value)
{
    const std::string text = name + "=" + value;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->kind == Line::Value && sameName(it->key, key) && sameName(it->name, name)) {
            it->text = text;
            it->value = value;
            return;
        }
    }
    Line added{Line::Value, text, key, name, value};
    // After the last line of the key's first section, skipping trailing blank lines.
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Section || !sameName(lines[i].key, key))
            continue;
        size_t insertAt = i + 1;
        for (size_t j = i + 1; j < lines.size() && lines[j].kind != Line::Section; ++j)
            if (lines[j].kind == Line::Value || !trim(lines[j].text).empty())
                insertAt = j + 1;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), added);
        return;
    }
    if (key.empty()) {  // values without a key go before the first section
        lines.insert(lines.begin(), added);
        return;
    }
    if (!lines.empty() && !trim(lines.back().text).empty())
        lines.push_back({Line::Other, "", "", "", ""});
    lines.push_back({Line::Section, "[" + key + "]", key, "", ""});
    lines.push_back(added);
}

bool replaceStore(const std::string& storePath, const std::vector<Line>& lines)
{
    std::string content;
    for (const Line& line : lines)
        content += line.text + "\n";
    const std::string temporary = storePath + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // The store may hold secrets (Token, MqttPassword): its user's alone, whatever mode a
    // temporary file left by a killed writer had.
    bool ok = fchmod(fd, 0600) == 0 && writeAll(fd, content);
    if (ok && g_writeHook)
        g_writeHook();
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), storePath.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk too.
    if (const int folder = open(folderOf(storePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

bool parseInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

void setSettingsWriteHook(void (*hook)())
{
    g_writeHook = hook;
}

SettingsStore::SettingsStore() : m_filePath(homeDirectory() + "/registry.ini") {}

SettingsStore::SettingsStore(std::string filePath) : m_filePath(std::move(filePath)) {}

bool SettingsStore::readText(std::string_view path, std::string& value) const
{
    std::string key, name;
    if (!splitPath(path, key, name))
        return false;
    const std::vector<Line> lines = loadForRead(m_filePath);
    const Line* found = findValue(lines, key, name);
    if (!found)
        return false;
    value = found->value;
    return true;
}

bool SettingsStore::readInt(std::string_view path, int& value) const
{
    std::string text;
    return readText(path, text) && parseInt(text, value);
}

bool SettingsStore::writeText(std::string_view path, std::string_view value)
{
    std::string key, name;
    if (!splitPath(path, key, name) ||
        value.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos)
        return false;
    StoreLock lock(m_filePath);
    if (!lock.held())
        return false;
    std::string content;
    if (!readFile(m_filePath, content))
        return false;
    int badLine = 0;
    std::vector<Line> lines = parse(content, badLine);
    if (badLine) {
        setAside(m_filePath, badLine);
        lines.clear();
    }
    setValue(lines, key, name, trim(value));
    return replaceStore(m_filePath, lines);
}

bool SettingsStore::writeInt(std::string_view path, int value)
{
    return writeText(path, std::to_string(value));
}

}  // namespace gc6890
