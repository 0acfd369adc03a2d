// Whether the reader of the program's output has gone, so that a command
// with nothing to print (`device-search watch` between events) can end as a
// pipeline expects when the command after it has ended (`watch | head -1`),
// instead of running until its next line meets the closed pipe.
#pragma once

// True when `fd` is a pipe whose reader has closed it (poll reports POLLERR
// on its write end) or a socket or terminal that has hung up (POLLHUP).
// False for a pipe that is still read, a terminal, a regular file, /dev/null
// and a descriptor that is not open. Writes nothing and never waits; any
// thread.
bool OutputReaderGone(int fd);

// Whether SIGPIPE has its default action, which ends the process. Ask before
// any library runs that ignores it for itself (GLib does, process-wide, once
// it makes a socket: the UPnP search).
bool SigpipeEndsTheProcess();

// Ends the process as writing into a pipe without a reader would have ended
// it with SIGPIPE's action `sigpipe_ends` (SigpipeEndsTheProcess() as the
// program started): by SIGPIPE (status 141 in a shell), whatever its action
// is now. Returns when `sigpipe_ends` is false (the program's caller ignores
// SIGPIPE) or SIGPIPE is blocked; the caller then ends with status 0.
void EndAsClosedPipe(bool sigpipe_ends);
