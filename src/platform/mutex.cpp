#include "platform/mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>

struct CMutex::Shared {
    std::string name;
    int fd = -1;      // the open lock file; the flock is held while count > 0
    int count = 0;    // Lock calls of every object of this name not yet unlocked
    ~Shared()
    {
        if (fd >= 0)
            close(fd);
    }
};

namespace gc6890 {
namespace {

std::map<std::string, std::weak_ptr<CMutex::Shared>>& sharedByName()
{
    static std::map<std::string, std::weak_ptr<CMutex::Shared>> all;
    return all;
}

bool isPrivateFolder(const std::string& folder)
{
    struct stat info{};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 077) == 0;
}

std::string runtimeFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && isPrivateFolder(runtime))
        return runtime;
    const std::string folder = "/tmp/gc6890-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    // Someone else's folder, or one others can write to, would let them hold our locks.
    return isPrivateFolder(folder) ? folder : std::string();
}

std::uint64_t monotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

std::string mutexLockPath(const std::string& name)
{
    const std::string folder = runtimeFolder();
    if (folder.empty())
        return {};
    std::string safe;
    for (char ch : name.substr(0, 100)) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                           ch == '.' || ch == '-' || ch == '_';
        safe += plain ? ch : '_';
    }
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char ch : name)
        hash = (hash ^ ch) * 16777619u;
    char hex[9];
    for (int i = 7; i >= 0; --i, hash >>= 4)
        hex[i] = "0123456789abcdef"[hash & 0xF];
    hex[8] = '\0';
    return folder + "/gc6890-mutex-" + safe + "-" + hex + ".lock";
}

}  // namespace gc6890

CMutex::CMutex(BOOL initiallyOwned, LPCTSTR name, void*)
{
    const std::string key = name ? name : "";
    if (!key.empty()) {
        auto& byName = gc6890::sharedByName();
        m_shared = byName[key].lock();
        if (!m_shared) {
            m_shared = std::make_shared<Shared>();
            m_shared->name = key;
            byName[key] = m_shared;
        }
    } else {
        m_shared = std::make_shared<Shared>();
    }
    if (initiallyOwned)
        Lock(0);
}

CMutex::~CMutex()
{
    while (m_owned > 0)
        Unlock();
}

BOOL CMutex::Lock(DWORD timeout)
{
    Shared& shared = *m_shared;
    if (shared.count > 0 || shared.name.empty()) {  // this process owns it already, or it is local
        ++shared.count;
        ++m_owned;
        return TRUE;
    }
    if (shared.fd < 0) {
        const std::string path = gc6890::mutexLockPath(shared.name);
        shared.fd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (shared.fd < 0)
            return FALSE;
    }
    if (timeout == INFINITE) {
        while (flock(shared.fd, LOCK_EX) != 0)
            if (errno != EINTR)
                return FALSE;
    } else {
        const std::uint64_t deadline = gc6890::monotonicMilliseconds() + timeout;
        while (flock(shared.fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return FALSE;
            const std::uint64_t now = gc6890::monotonicMilliseconds();
            if (now >= deadline)
                return FALSE;
            const std::uint64_t pause = std::min<std::uint64_t>(deadline - now, 2);
            const timespec wait{0, static_cast<long>(pause * 1000000u)};
            nanosleep(&wait, nullptr);
        }
    }
    ++shared.count;
    ++m_owned;
    return TRUE;
}

BOOL CMutex::Unlock()
{
    if (m_owned == 0)
        return FALSE;
    --m_owned;
    if (--m_shared->count == 0 && m_shared->fd >= 0)
        flock(m_shared->fd, LOCK_UN);
    return TRUE;
}

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_object(object)
{
    if (initialLock)
        Lock();
}

CSingleLock::~CSingleLock()
{
    Unlock();
}

BOOL CSingleLock::Lock(DWORD timeout)
{
    if (!m_locked && m_object)
        m_locked = m_object->Lock(timeout);
    return m_locked;
}

BOOL CSingleLock::Unlock()
{
    if (!m_locked)
        return FALSE;
    m_locked = FALSE;
    return m_object->Unlock();
}
