/* The baseline instrument for the exchange benchmark: a minimal responder on a
 * pseudo-terminal. It prints the device path, then answers every line it reads with the
 * same fixed 40-byte reply (a run-state answer with nine values). poll() and buffered
 * reads, nothing else, so that the clients' costs are what the benchmark compares.
 * Stops on SIGTERM or when its standard input closes. */
#define _DEFAULT_SOURCE /* cfmakeraw */
#define _XOPEN_SOURCE 600
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

static const char kReply[] = "HTGCRI 2,0,0,0,112.50,13.25,104.75,10,0\n";

int main(void)
{
    _Static_assert(sizeof kReply - 1 == 40, "the reply is 40 bytes");
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        perror("responder: pseudo-terminal");
        return 1;
    }
    const char* name = ptsname(master);
    /* Keep the slave open ourselves so clients may come and go; raw, no echo. */
    int slave = open(name, O_RDWR | O_NOCTTY);
    struct termios tio;
    if (slave < 0 || tcgetattr(slave, &tio) != 0) {
        perror("responder: slave");
        return 1;
    }
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    printf("%s\n", name);
    fflush(stdout);

    char buffer[4096];
    struct pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            break; /* the benchmark closed our standard input: done */
        if (!(fds[0].revents & POLLIN))
            continue;
        ssize_t got = read(master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < got; ++i)
            if (buffer[i] == '\n' && write(master, kReply, sizeof kReply - 1) < 0)
                return 1;
    }
    close(slave);
    close(master);
    return 0;
}
