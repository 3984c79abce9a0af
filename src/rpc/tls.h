// Internal: TLS objects, bounded handshakes and bounded socket waits shared by
// the server and client transports. Not for use outside src/rpc.
#pragma once

#include <openssl/ssl.h>

// Waits until fd is ready for events (POLLIN/POLLOUT) for at most ms
// milliseconds (-1: no limit); EINTR waits again for the time left.
// 1 ready, 0 timed out, -1 failed.
int VYRRPC__wait_fd(int fd, short events, int ms);

// A TLS object on fd whose writes never raise SIGPIPE; null on failure.
SSL* VYRRPC__tls_new(SSL_CTX* ctx, int fd, bool server);

// Runs the handshake on a non-blocking socket, waiting at most ms in all.
// TRUE when it succeeded.
int VYRRPC__tls_handshake(SSL* ssl, int fd, int ms);

// Logs "SSL error (%s): %s" with the oldest queued OpenSSL error; -1.
int VYRRPC__tls_error(const char* prefix);

// Sets O_NONBLOCK on fd; FALSE on failure.
int VYRRPC__set_nonblock(int fd);
