#include "platform/mutex.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>

// The mutex itself lives in the lock file, mapped into every process that uses the name:
// a process-shared, robust mutex. Taking and giving it back costs no system call while no
// one else wants it, which matters because the port's mutex is taken around every single
// line. "Robust" is what lets a killed holder never keep others out: the next one to lock
// is told the owner died and takes it over.
struct SharedMutexRegion {
    std::uint32_t magic;
    std::uint32_t size;  // sizeof the region: a file made by another layout is remade
    pthread_mutex_t mutex;
};

struct CMutex::Shared {
    std::string name;
    int fd = -1;                          // the open lock file
    SharedMutexRegion* region = nullptr;  // mapped from it; the mutex is held while count > 0
    int count = 0;  // Lock calls of every object of this name not yet unlocked
    ~Shared()
    {
        if (region)
            munmap(region, sizeof *region);
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
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 077) == 0;
}

std::string runtimeFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime && isPrivateFolder(runtime))
        return runtime;
    const std::string folder = "/tmp/gc6890-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    // Someone else's folder, or one others can write to, would let them hold our locks.
    return isPrivateFolder(folder) ? folder : std::string();
}

constexpr std::uint32_t kRegionMagic = 0x36383930;  // "6890"

// Makes the region's mutex new. Only under the lock file's flock, and only when no one can
// hold it: the file was just made, or its mutex cannot be recovered.
void initialiseRegion(SharedMutexRegion& region)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&region.mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    region.size = sizeof region;
    region.magic = kRegionMagic;
}

// Opens the lock file and maps its mutex, making it on first use. The flock serialises
// only this first look at the file, not the locking itself.
bool mapRegion(CMutex::Shared& shared)
{
    const std::string path = mutexLockPath(shared.name);
    if (path.empty())
        return false;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    while (flock(fd, LOCK_EX) != 0)
        if (errno != EINTR) {
            close(fd);
            return false;
        }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0;
    const bool fresh = ok && info.st_size < static_cast<off_t>(sizeof(SharedMutexRegion));
    if (fresh)
        ok = ftruncate(fd, sizeof(SharedMutexRegion)) == 0;
    void* mapped =
        ok ? mmap(nullptr, sizeof(SharedMutexRegion), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
           : MAP_FAILED;
    if (mapped != MAP_FAILED) {
        auto* region = static_cast<SharedMutexRegion*>(mapped);
        if (fresh || region->magic != kRegionMagic || region->size != sizeof *region)
            initialiseRegion(*region);
        shared.region = region;
        shared.fd = fd;
    }
    flock(fd, LOCK_UN);
    if (!shared.region)
        close(fd);
    return shared.region != nullptr;
}

// A holder that died left the mutex to us: make it usable again. One that cannot be
// recovered (a taker died before doing so) is made new under the file's flock.
int takeOver(CMutex::Shared& shared, int result)
{
    if (result == EOWNERDEAD)
        return pthread_mutex_consistent(&shared.region->mutex);
    if (result == ENOTRECOVERABLE && flock(shared.fd, LOCK_EX) == 0) {
        initialiseRegion(*shared.region);
        flock(shared.fd, LOCK_UN);
        return EAGAIN;  // new and free: try again
    }
    return result;
}

}  // namespace

std::string mutexLockPath(const std::string& name)
{
    const std::string folder = runtimeFolder();
    if (folder.empty())
        return {};
    std::string safe;
    for (char ch : name.substr(0, 100)) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                           (ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '_';
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
    if (!shared.region && !gc6890::mapRegion(shared))
        return FALSE;
    pthread_mutex_t* mutex = &shared.region->mutex;
    // A free mutex is taken at once, whatever the time-out: the clock is read for the
    // deadline only when another process holds the mutex and we must wait. (The port's
    // mutex is taken twice an exchange; where the vDSO cannot read the clock source, each
    // clock read is a system call.)
    int result = pthread_mutex_trylock(mutex);
    if (result == EOWNERDEAD || result == ENOTRECOVERABLE)
        result = gc6890::takeOver(shared, result);
    if ((result == EBUSY && timeout != 0) || result == EAGAIN) {
        timespec deadline{};
        if (timeout != INFINITE && timeout != 0) {
            clock_gettime(CLOCK_MONOTONIC, &deadline);
            deadline.tv_sec += static_cast<time_t>(timeout / 1000);
            deadline.tv_nsec += static_cast<long>(timeout % 1000) * 1000000L;
            if (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_nsec -= 1000000000L;
                ++deadline.tv_sec;
            }
        }
        do {
            if (timeout == INFINITE)
                result = pthread_mutex_lock(mutex);
            else if (timeout == 0)
                result = pthread_mutex_trylock(mutex);
            else
                result = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
            if (result == EOWNERDEAD || result == ENOTRECOVERABLE)
                result = gc6890::takeOver(shared, result);
        } while (result == EAGAIN || result == EINTR);
    }
    if (result != 0)
        return FALSE;
    ++shared.count;
    ++m_owned;
    return TRUE;
}

BOOL CMutex::Unlock()
{
    if (m_owned == 0)
        return FALSE;
    --m_owned;
    if (--m_shared->count == 0 && m_shared->region)
        pthread_mutex_unlock(&m_shared->region->mutex);
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
