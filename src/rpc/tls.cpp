// TLS contexts and the TLS plumbing of the transports.
#include "rpc/tls.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <mutex>

#include "rpc/svc.h"
#include "util/log.h"

namespace {

constexpr long ssl_session_timeout = 200;

using Clock = std::chrono::steady_clock;

// Socket BIO whose writes use MSG_NOSIGNAL: a peer that resets the connection
// while we write must not kill the process with SIGPIPE.
int nosig_write(BIO* b, const char* buf, int len) {
  int fd = -1;
  BIO_get_fd(b, &fd);
  errno = 0;
  int r = static_cast<int>(send(fd, buf, len, MSG_NOSIGNAL));
  BIO_clear_retry_flags(b);
  if (r <= 0 && BIO_sock_should_retry(r)) BIO_set_retry_write(b);
  return r;
}

int nosig_puts(BIO* b, const char* s) { return nosig_write(b, s, static_cast<int>(strlen(s))); }

BIO_METHOD* nosig_method() {
  static BIO_METHOD* method = [] {
    const BIO_METHOD* base = BIO_s_socket();
    BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
    if (!m) return m;
    BIO_meth_set_write(m, nosig_write);
    BIO_meth_set_puts(m, nosig_puts);
    BIO_meth_set_read(m, BIO_meth_get_read(base));
    BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(base));
    BIO_meth_set_create(m, BIO_meth_get_create(base));
    BIO_meth_set_destroy(m, BIO_meth_get_destroy(base));
    return m;
  }();
  return method;
}

bool library_ready = false;
std::mutex library_mutex;

// Installs the "DH PARAMETERS" block of the key file. The generic parameter
// reader would return the first parameter block of any type, so the block is
// found by its PEM name.
bool init_dh(SSL_CTX* ctx, const char* certFile) {
  BIO* in = BIO_new_file(certFile, "r");
  if (!in) return false;
  bool ok = false;
  char* name = nullptr;
  char* header = nullptr;
  unsigned char* data = nullptr;
  long len = 0;
  while (!ok && PEM_read_bio(in, &name, &header, &data, &len) == 1) {
    if (strcmp(name, PEM_STRING_DHPARAMS) == 0) {
      BIO* one = BIO_new(BIO_s_mem());
      EVP_PKEY* params = nullptr;
      if (one && PEM_write_bio(one, name, header, data, len) > 0)
        params = PEM_read_bio_Parameters(one, nullptr);
      BIO_free(one);
      // The context takes the parameters on success; the security level
      // refuses weak ones.
      if (params && SSL_CTX_set0_tmp_dh_pkey(ctx, params) == 1)
        ok = true;
      else
        EVP_PKEY_free(params);
    }
    OPENSSL_free(name);
    OPENSSL_free(header);
    OPENSSL_free(data);
    name = header = nullptr;
    data = nullptr;
  }
  BIO_free(in);
  ERR_clear_error();
  return ok;
}

}  // namespace

int VYRRPC__wait_fd(int fd, short events, int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  for (;;) {
    int left = -1;
    if (ms >= 0) {
      auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      left = rest < 0 ? 0 : static_cast<int>(rest);
    }
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, left);
    if (n > 0) return 1;
    if (n == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

int VYRRPC__set_nonblock(int fd) {
  int fl = fcntl(fd, F_GETFL);
  if (fl < 0) return FALSE;
  return fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0;
}

SSL* VYRRPC__tls_new(SSL_CTX* ctx, int fd, bool server) {
  if (!ctx || !nosig_method()) return nullptr;
  SSL* ssl = SSL_new(ctx);
  if (!ssl) return nullptr;
  BIO* bio = BIO_new(nosig_method());
  if (!bio) {
    SSL_free(ssl);
    return nullptr;
  }
  BIO_set_fd(bio, fd, BIO_NOCLOSE);
  SSL_set_bio(ssl, bio, bio);
  if (server)
    SSL_set_accept_state(ssl);
  else
    SSL_set_connect_state(ssl);
  return ssl;
}

int VYRRPC__tls_handshake(SSL* ssl, int fd, int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    ERR_clear_error();
    int r = SSL_do_handshake(ssl);
    if (r == 1) {
      logit(LOG_DEBUG, __FILE__, __LINE__, "TLS handshake done on socket %d (%s)", fd, SSL_get_version(ssl));
      return TRUE;
    }
    int err = SSL_get_error(ssl, r);
    short ev;
    if (err == SSL_ERROR_WANT_READ)
      ev = POLLIN;
    else if (err == SSL_ERROR_WANT_WRITE)
      ev = POLLOUT;
    else {
      logit(LOG_DEBUG, __FILE__, __LINE__, "TLS handshake failed on socket %d (%d)", fd, err);
      ERR_clear_error();
      return FALSE;
    }
    auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (rest <= 0 || VYRRPC__wait_fd(fd, ev, static_cast<int>(rest)) != 1) {
      logit(LOG_DEBUG, __FILE__, __LINE__, "TLS handshake timed out on socket %d", fd);
      return FALSE;
    }
  }
}

int VYRRPC__tls_error(const char* prefix) {
  char text[256];
  ERR_error_string_n(ERR_get_error(), text, sizeof text);
  logit(LOG_ERR, __FILE__, __LINE__, "SSL error (%s): %s", prefix, text);
  return -1;
}

void* VYRRPC_new_ssl_ctx(int forServer, const char* certFile) {
  {
    std::lock_guard<std::mutex> lock(library_mutex);
    if (!library_ready) {
      OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
      library_ready = true;
      if (RAND_status() != 1) {
        struct {
          int64_t now, pid;
        } seed{static_cast<int64_t>(time(nullptr)), static_cast<int64_t>(getpid())};
        RAND_seed(&seed, sizeof seed);
        if (RAND_status() != 1) {
          logit(LOG_ERR, __FILE__, __LINE__, "SSL error: unable to seed the random number generator");
          return nullptr;
        }
      }
    }
  }
  SSL_CTX* ctx = SSL_CTX_new(forServer ? TLS_server_method() : TLS_client_method());
  if (!ctx) {
    VYRRPC__tls_error("SSL_CTX_new");
    return nullptr;
  }
  if (certFile) {
    if (SSL_CTX_use_certificate_chain_file(ctx, certFile) != 1) {
      VYRRPC__tls_error("SSL_CTX_use_certificate_chain_file");
      SSL_CTX_free(ctx);
      return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, certFile, SSL_FILETYPE_PEM) != 1) {
      VYRRPC__tls_error("SSL_CTX_use_PrivateKey_file");
      SSL_CTX_free(ctx);
      return nullptr;
    }
    if (!init_dh(ctx, certFile)) {
      logit(LOG_ERR, __FILE__, __LINE__, "SSL error: could not use DH parameters in %s", certFile);
      SSL_CTX_free(ctx);
      return nullptr;
    }
  } else {
    // No parameters of its own: let the library choose DH parameters that
    // match the key, as a temporary-DH callback would.
    SSL_CTX_set_dh_auto(ctx, 1);
  }
  SSL_CTX_set_timeout(ctx, ssl_session_timeout);
  return ctx;
}

void VYRRPC_free_ssl_ctx(void* ctx) {
  if (ctx) SSL_CTX_free(static_cast<SSL_CTX*>(ctx));
}
