#include "service/sila/sila_home.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "service/random_bytes.h"
#include "service/safe_text.h"

namespace gc6890::sila {

std::string silaFolder()
{
    return homeDirectory() + "/sila";
}

void writeWhole(const std::string& path, const std::string& text, mode_t mode)
{
    static std::atomic<unsigned> writes{0};
    const std::string temporary =
        path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++writes);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    // The mode asked for, whatever the umask made of it (keys must stay 0600).
    const bool written =
        ::fchmod(fd, mode) == 0 &&
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int why = written ? errno : error;
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(why));
    }
}

std::string randomUuid()
{
    unsigned char bytes[16];
    fillRandom(bytes, "no random bytes for a UUID");
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);  // the RFC 4122 variant
    std::string uuid;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            uuid += '-';
        uuid += format("%02x", bytes[i]);
    }
    return uuid;
}

bool isUuid(const std::string& text)
{
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

namespace {

std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

}  // namespace

std::string loadOrMakeServerUuid()
{
    const std::string path = silaFolder() + "/server-uuid";
    std::string text;
    if (readWhole(path, text)) {
        const std::string uuid = firstLine(text);
        if (!isUuid(uuid))
            throw std::runtime_error(path + " holds no server UUID (36 characters, lower-case " +
                                     "hexadecimal digits and dashes); remove it to make a new one");
        return uuid;
    }
    makeDirectories(silaFolder());
    const std::string uuid = randomUuid();
    writeWhole(path, uuid + "\n", 0644);
    return uuid;
}

std::string tidyServerName(const std::string& name)
{
    std::string text = validUtf8(name);
    // At most 255 characters: count the bytes that begin one.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80 && ++characters > 255) {
            text.resize(i);
            break;
        }
    }
    return text;
}

ServerName::ServerName(const std::string& firstName)
{
    const std::string path = silaFolder() + "/server-name";
    std::string text;
    if (readWhole(path, text) && !firstLine(text).empty()) {
        name_ = tidyServerName(firstLine(text));
        return;
    }
    // The standard's default is the server type; ours is the instrument's name.
    name_ = tidyServerName(firstName.empty() ? "GasChromatograph" : firstName);
    makeDirectories(silaFolder());
    writeWhole(path, name_ + "\n", 0644);
}

std::string ServerName::get() const
{
    std::lock_guard lock(mutex_);
    return name_;
}

void ServerName::onChange(std::function<void(const std::string&)> listener)
{
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
    listener_(name_);
}

void ServerName::set(const std::string& name)
{
    std::lock_guard lock(mutex_);
    writeWhole(silaFolder() + "/server-name", name + "\n", 0644);
    name_ = name;
    if (listener_)
        listener_(name_);
}

}  // namespace gc6890::sila
