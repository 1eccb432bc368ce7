// An ordinary program: the usual standard and POSIX headers first, then the installed
// library's, and names of its own that a macro in the library's headers would break.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "comms/comms_registry.h"
#include "comms/hp6890_serial_comms.h"
#include "comms/reg_remote_window.h"
#include "comms/registered_messages.h"
#include "diagnostics/dump.h"
#include "diagnostics/error_log.h"
#include "external/inlet_utils.h"
#include "external/method_library.h"
#include "external/serial_comms.h"
#include "gc/varnock_gc_system.h"
#include "method/method_command.h"
#include "method/method_errors.h"
#include "platform/installation.h"
#include "platform/platform.h"
#include "sampler/varnock_auto_sampler.h"

namespace lab {
enum class Answer { TRUE, FALSE };
struct Limits {
    int min = 0;
    int max = 1;
    bool ERROR = false;
};
}  // namespace lab

int main()
{
    const lab::Answer answer = lab::Answer::FALSE;
    const BOOL done = TRUE;
    return answer == lab::Answer::TRUE || done != TRUE || std::max(lab::Limits{}.max, 0) != 1;
}
