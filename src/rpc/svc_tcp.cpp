// TCP server transports: the listener that accepts connections, and one
// transport per connection with its record stream, optionally inside TLS.
//
// The service loop has one thread for every connection, so no connection may
// make it wait: a connection reads what its peer has sent into a buffer of its
// own and hands the record stream only whole records; a reply the peer does
// not take at once waits in the connection's output queue until the socket is
// writable; a TLS handshake advances one step each time its socket is ready.
// Each of these has its own deadline (a whole record, a whole reply, the
// handshake), counted from its start and not restarted by each byte.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "rpc/record_stream.h"
#include "rpc/svc.h"
#include "rpc/tls.h"
#include "rpc/xdr_call.h"
#include "rpc/xprt_common.h"
#include "util/log.h"
#include "util/thread.h"

namespace {

constexpr uint32_t LAST_FRAG = 0x80000000u;
constexpr uint32_t CRYPT_FRAG = 0x40000000u;
// Input is read in steps of this size, and at most kReadPerPass bytes per
// pass of the loop, so that one busy peer cannot keep the loop to itself.
constexpr size_t kReadStep = 64 * 1024;
constexpr size_t kReadPerPass = 256 * 1024;
// Buffers above this size are given back once they are empty.
constexpr size_t kKeepBuffer = 1024 * 1024;
// A TLS write takes at most this much at once.
constexpr size_t kTlsWriteStep = 1024 * 1024;
// How long a listener that cannot get a descriptor rests before it tries again.
constexpr long long kListenerRestMs = 1000;

struct tcp_rendezvous {
  unsigned int sendsize;
  unsigned int recvsize;
  int threading;
  SSL_CTX* ssl_ctx;
  int paused;  // out of descriptors: not polled until one is freed
};

// A byte queue: [pos, len) is what is still to be consumed.
struct byte_buf {
  char* data = nullptr;
  size_t cap = 0;
  size_t len = 0;
  size_t pos = 0;

  size_t pending() const { return len - pos; }
  ~byte_buf() { std::free(data); }
  // Room for at least n more bytes after len; consumed bytes are dropped
  // first. Offsets into the buffer move back by what was dropped (returned).
  bool reserve(size_t n, size_t* dropped) {
    *dropped = 0;
    if (cap - len >= n) return true;
    if (pos > 0) {
      std::memmove(data, data + pos, len - pos);
      *dropped = pos;
      len -= pos;
      pos = 0;
      if (cap - len >= n) return true;
    }
    size_t want = std::max(cap * 2, len + n);
    char* grown = static_cast<char*>(std::realloc(data, want));
    if (!grown) return false;
    data = grown;
    cap = want;
    return true;
  }
  void clear_if_consumed() {
    if (pos < len) return;
    pos = len = 0;
    if (cap > kKeepBuffer) {
      std::free(data);
      data = nullptr;
      cap = 0;
    }
  }
};

struct tcp_conn {
  xprt_stat strm_stat = XPRT_IDLE;
  unsigned int x_id = 0;
  XDR xdrs{};
  char verf_body[VYRRPC_MAX_AUTH_BYTES]{};
  int singlethreaded = 1;
  int sslpending = 0;
  SSL_CTX* ssl_ctx = nullptr;
  SSL* ssl = nullptr;

  // Input. in.pos is where the record stream reads next; whole records end
  // at complete_end; the fragment mark of the record still arriving is at
  // scan_pos. rec_bytes counts the bytes that record has claimed so far.
  byte_buf in;
  size_t complete_end = 0;
  size_t scan_pos = 0;
  unsigned long long rec_bytes = 0;
  bool peer_eof = false;
  bool read_again = false;  // bytes are known to wait beyond this pass's share
  short read_wants = POLLIN;
  long long in_deadline = 0;

  // Output not yet taken by the peer.
  byte_buf out;
  short write_wants = POLLOUT;
  long long out_deadline = 0;

  // TLS handshake in progress.
  bool handshaking = false;
  short hs_wants = POLLIN;
  long long hs_deadline = 0;
};

tcp_conn* conn_of(SVCXPRT* x) { return reinterpret_cast<tcp_conn*>(x->xp_p1); }

unsigned long long next_serial = 0;

// A descriptor kept open so that a listener out of descriptors can still
// accept a waiting connection and close it: the peer sees a refusal instead
// of waiting, and the listener stops being readable.
int reserve_fd = -1;
bool accept_failure_logged = false;
// Logged once until a connection's thread starts again.
bool thread_failure_logged = false;

// The sockets of the connections served by their own threads, and how many of
// those threads still run: the process ends them before it exits. Never
// destroyed: a detached thread may still use it while the process exits.
struct Threaded {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<int> socks;
  unsigned running = 0;
};
Threaded& threaded() {
  static Threaded* t = new Threaded;
  return *t;
}
std::vector<SVCXPRT*> listeners;

int rendezvous_recv(SVCXPRT*, rpc_msg*);
xprt_stat rendezvous_stat(SVCXPRT*) { return XPRT_IDLE; }
int rendezvous_getargs(SVCXPRT*, xdrproc_t, char*) { return FALSE; }
int rendezvous_reply(SVCXPRT*, rpc_msg*) { return FALSE; }
int rendezvous_freeargs(SVCXPRT*, xdrproc_t, char*) { return FALSE; }
int svctcp_recv(SVCXPRT*, rpc_msg*);
xprt_stat svctcp_stat(SVCXPRT*);
int svctcp_getargs(SVCXPRT*, xdrproc_t, char*);
int svctcp_reply(SVCXPRT*, rpc_msg*);
int svctcp_freeargs(SVCXPRT*, xdrproc_t, char*);
void svctcp_destroy(SVCXPRT*);
int svctcp_control(SVCXPRT*, int, char*);

const svc_xp_ops rendezvous_ops = {rendezvous_recv,     rendezvous_stat, rendezvous_getargs, rendezvous_reply,
                                   rendezvous_freeargs, svctcp_destroy,  svctcp_control};
const svc_xp_ops conn_ops = {svctcp_recv,     svctcp_stat,    svctcp_getargs, svctcp_reply,
                             svctcp_freeargs, svctcp_destroy, svctcp_control};

bool dead(const tcp_conn* cd) { return cd->strm_stat == XPRT_DIED; }
void mark_dead(tcp_conn* cd) { cd->strm_stat = XPRT_DIED; }

long long deadline_from_now() {
  return VYRRPC__svc_now_ms() + (VYRRPC__svc_wait_ms > 0 ? VYRRPC__svc_wait_ms : 0);
}

uint32_t be32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return ntohl(v);
}

// --- input ---

// Finds the records that have arrived whole. A mark that cannot be framed or
// a record longer than the limit drops the connection.
void scan_input(tcp_conn* cd) {
  byte_buf& in = cd->in;
  bool completed = false;
  while (in.len - cd->scan_pos >= 4) {
    uint32_t mark = be32(in.data + cd->scan_pos);
    uint64_t len = (mark & CRYPT_FRAG) ? (mark & 0x3FFFFFFFu) : (mark & ~LAST_FRAG);
    if ((mark & CRYPT_FRAG) && len < 4) {
      mark_dead(cd);
      return;
    }
    cd->rec_bytes += 4 + len;
    if (cd->rec_bytes > VYRRPC__svc_max_record) {
      logit(LOG_ERR, __FILE__, __LINE__, "record of more than %llu bytes refused", VYRRPC__svc_max_record);
      mark_dead(cd);
      return;
    }
    if (in.len - cd->scan_pos - 4 < len) {
      cd->rec_bytes -= 4 + len;  // counted again when the fragment is whole
      break;
    }
    cd->scan_pos += 4 + len;
    if (mark & LAST_FRAG) {
      cd->complete_end = cd->scan_pos;
      cd->rec_bytes = 0;
      completed = true;
    }
  }
  // The deadline of a record runs from its first byte.
  bool partial = in.len > cd->complete_end;
  if (!partial)
    cd->in_deadline = 0;
  else if (completed || cd->in_deadline == 0)
    cd->in_deadline = deadline_from_now();
}

// Reads what the peer has sent, up to this pass's share. False when the
// connection failed.
bool read_input(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  size_t budget = kReadPerPass;
  cd->read_again = false;
  cd->read_wants = POLLIN;
  while (budget > 0 && !cd->peer_eof) {
    size_t dropped = 0;
    if (!cd->in.reserve(kReadStep, &dropped)) {
      logit(LOG_ERR, __FILE__, __LINE__, "no memory for the input of a connection");
      mark_dead(cd);
      return false;
    }
    cd->complete_end -= dropped;
    cd->scan_pos -= dropped;
    char* at = cd->in.data + cd->in.len;
    size_t want = std::min(cd->in.cap - cd->in.len, budget);
    if (cd->ssl) {
      ERR_clear_error();
      int r = SSL_read(cd->ssl, at, static_cast<int>(std::min<size_t>(want, INT32_MAX)));
      if (r > 0) {
        cd->in.len += static_cast<size_t>(r);
        budget -= static_cast<size_t>(r);
        continue;
      }
      int err = SSL_get_error(cd->ssl, r);
      if (err == SSL_ERROR_WANT_READ) break;
      if (err == SSL_ERROR_WANT_WRITE) {
        cd->read_wants = POLLOUT;
        break;
      }
      ERR_clear_error();
      if (err == SSL_ERROR_ZERO_RETURN) {
        cd->peer_eof = true;
        break;
      }
      mark_dead(cd);
      return false;
    }
    ssize_t r = recv(x->xp_sock, at, want, 0);
    if (r > 0) {
      cd->in.len += static_cast<size_t>(r);
      budget -= static_cast<size_t>(r);
      // A short read took all the socket held: what comes later makes it
      // readable again, so another read now would only find nothing.
      if (static_cast<size_t>(r) < want) break;
      continue;
    }
    if (r == 0) {
      cd->peer_eof = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    mark_dead(cd);
    return false;
  }
  // Bytes TLS has already decrypted do not make the socket readable again.
  if (budget == 0 && cd->ssl && SSL_pending(cd->ssl) > 0) cd->read_again = true;
  scan_input(cd);
  return !dead(cd);
}

// The record stream's read function: only bytes of whole records.
int readtcp(char* handle, char* buf, unsigned int len) {
  tcp_conn* cd = conn_of(reinterpret_cast<SVCXPRT*>(handle));
  size_t avail = cd->complete_end - cd->in.pos;
  if (avail == 0) {
    // The stream and the framing above disagree: nothing more can be read.
    mark_dead(cd);
    return -1;
  }
  size_t n = std::min<size_t>(avail, len);
  std::memcpy(buf, cd->in.data + cd->in.pos, n);
  cd->in.pos += n;
  if (cd->in.pos == cd->in.len) {
    cd->in.clear_if_consumed();
    cd->complete_end = cd->scan_pos = 0;
  }
  return static_cast<int>(n);
}

// A whole record is buffered, in the record stream or behind it.
bool has_record(tcp_conn* cd) { return cd->complete_end > cd->in.pos || !VYRRPC_xdrrec_eof(&cd->xdrs); }

// --- output ---

// Sends what the socket takes of [data, data + len); the count sent, or -1
// when the connection failed.
long send_some(SVCXPRT* x, const char* data, size_t len) {
  tcp_conn* cd = conn_of(x);
  size_t sent = 0;
  while (sent < len) {
    if (cd->ssl) {
      ERR_clear_error();
      int r = SSL_write(cd->ssl, data + sent, static_cast<int>(std::min(len - sent, kTlsWriteStep)));
      if (r > 0) {
        sent += static_cast<size_t>(r);
        continue;
      }
      int err = SSL_get_error(cd->ssl, r);
      if (err == SSL_ERROR_WANT_WRITE || err == SSL_ERROR_WANT_READ) {
        cd->write_wants = err == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
        break;
      }
      ERR_clear_error();
      mark_dead(cd);
      return -1;
    }
    ssize_t r = send(x->xp_sock, data + sent, len - sent, MSG_NOSIGNAL);
    if (r > 0) {
      sent += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      cd->write_wants = POLLOUT;
      break;
    }
    mark_dead(cd);
    return -1;
  }
  return static_cast<long>(sent);
}

// Sends what is queued, as far as the socket takes it.
void flush_output(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  if (cd->out.pending() == 0) return;
  long n = send_some(x, cd->out.data + cd->out.pos, cd->out.pending());
  if (n < 0) return;
  cd->out.pos += static_cast<size_t>(n);
  if (cd->out.pending() == 0) {
    cd->out.clear_if_consumed();
    cd->out_deadline = 0;
  }
}

// The record stream's write function: sends what the socket takes and queues
// the rest; never waits.
int writetcp(char* handle, char* buf, unsigned int len) {
  SVCXPRT* x = reinterpret_cast<SVCXPRT*>(handle);
  tcp_conn* cd = conn_of(x);
  if (dead(cd)) return -1;
  size_t sent = 0;
  if (cd->out.pending() == 0) {
    long n = send_some(x, buf, len);
    if (n < 0) return -1;
    sent = static_cast<size_t>(n);
  }
  if (sent < len) {
    size_t dropped = 0;
    if (!cd->out.reserve(len - sent, &dropped)) {
      logit(LOG_ERR, __FILE__, __LINE__, "no memory for the output of a connection");
      mark_dead(cd);
      return -1;
    }
    std::memcpy(cd->out.data + cd->out.len, buf + sent, len - sent);
    cd->out.len += len - sent;
    if (cd->out_deadline == 0) cd->out_deadline = deadline_from_now();
  }
  return static_cast<int>(len);
}

// --- TLS ---

void handshake_step(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  ERR_clear_error();
  int r = SSL_do_handshake(cd->ssl);
  if (r == 1) {
    cd->handshaking = false;
    cd->hs_deadline = 0;
    logit(LOG_DEBUG, __FILE__, __LINE__, "TLS handshake done on socket %d (%s)", x->xp_sock,
          SSL_get_version(cd->ssl));
    return;
  }
  int err = SSL_get_error(cd->ssl, r);
  if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
    cd->hs_wants = err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
    return;
  }
  logit(LOG_DEBUG, __FILE__, __LINE__, "TLS handshake failed on socket %d (%d)", x->xp_sock, err);
  ERR_clear_error();
  mark_dead(cd);
}

// A reply goes out whole through the queue, possibly moved and in pieces.
void tls_modes(SSL* ssl) {
  SSL_set_mode(ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
}

void start_handshake(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  cd->handshaking = true;
  cd->hs_wants = POLLIN;
  cd->hs_deadline = deadline_from_now();
  handshake_step(x);
}

// TLS starts once the reply that asked for it has gone out whole. Clear bytes
// the peer sent after that call cannot be part of the handshake.
void start_pending_tls(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  cd->sslpending = 0;
  if (cd->in.pending() > 0 || !VYRRPC_xdrrec_eof(&cd->xdrs) || !cd->ssl_ctx) {
    mark_dead(cd);
    return;
  }
  cd->ssl = VYRRPC__tls_new(cd->ssl_ctx, x->xp_sock, true);
  if (!cd->ssl) {
    mark_dead(cd);
    return;
  }
  tls_modes(cd->ssl);
  start_handshake(x);
}

// --- one step of a connection ---

// Moves the connection on as far as it goes without waiting: handshake,
// queued output, a pending switch to TLS, then input.
void progress(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  if (dead(cd)) return;
  if (cd->handshaking) {
    handshake_step(x);
    if (cd->handshaking || dead(cd)) return;
  }
  if (cd->out.pending() > 0) {
    flush_output(x);
    if (cd->out.pending() > 0 || dead(cd)) return;
  }
  if (cd->sslpending) {
    start_pending_tls(x);
    return;
  }
  read_input(x);
}

// Drops a connection past one of its deadlines, or one whose peer has gone
// once nothing is left to answer.
void check_deadlines(tcp_conn* cd) {
  if (dead(cd)) return;
  long long now = VYRRPC__svc_now_ms();
  bool late = (cd->handshaking && now >= cd->hs_deadline) ||
              (cd->out.pending() > 0 && now >= cd->out_deadline) ||
              (cd->in.len > cd->complete_end && cd->in_deadline != 0 && now >= cd->in_deadline);
  if (late) {
    logit(LOG_DEBUG, __FILE__, __LINE__, "connection dropped: past its deadline");
    mark_dead(cd);
    return;
  }
  if (cd->peer_eof && !cd->handshaking && cd->out.pending() == 0 && !has_record(cd)) mark_dead(cd);
}

// Tells the service loop what this connection waits for, and when it must be
// called at the latest.
void update_wait(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  long long now = VYRRPC__svc_now_ms();
  short events = 0;
  long long wake = 0;
  auto wake_at = [&wake](long long t) {
    if (t != 0 && (wake == 0 || t < wake)) wake = t;
  };
  if (dead(cd)) {
    wake = now;
  } else if (cd->handshaking) {
    events = cd->hs_wants;
    wake_at(cd->hs_deadline);
  } else if (cd->out.pending() > 0) {
    events = cd->write_wants;
    wake_at(cd->out_deadline);
  } else if (cd->sslpending || has_record(cd) || cd->read_again) {
    wake = now;
  } else if (!cd->peer_eof) {
    events = cd->read_wants;
  }
  if (cd->in.len > cd->complete_end) wake_at(cd->in_deadline);
  x->xp_events = events;
  x->xp_wake_ms = wake;
}

// A connection served by its own thread waits here, bounded by its deadlines
// (without limit while it is idle), until a record is ready or it dies.
void wait_for_record(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  for (;;) {
    progress(x);
    check_deadlines(cd);
    if (dead(cd)) return;
    if (!cd->handshaking && cd->out.pending() == 0 && !cd->sslpending && has_record(cd)) return;
    update_wait(x);
    int ms = -1;
    if (x->xp_wake_ms != 0)
      ms = static_cast<int>(std::max<long long>(0, x->xp_wake_ms - VYRRPC__svc_now_ms()));
    if (x->xp_events == 0) {
      if (ms < 0) {
        mark_dead(cd);  // nothing left to wait for
        return;
      }
      usleep(static_cast<useconds_t>(ms) * 1000);
    } else if (VYRRPC__wait_fd(x->xp_sock, x->xp_events, ms) < 0) {
      mark_dead(cd);
      return;
    }
  }
}

// A connection transport on fd; nothing is left behind on failure (the
// caller still owns fd and ssl).
SVCXPRT* make_conn(int fd, unsigned int sendsize, unsigned int recvsize, SSL_CTX* ctx, SSL* ssl) {
  if (!VYRRPC__set_nonblock(fd)) return nullptr;
  SVCXPRT* x = static_cast<SVCXPRT*>(calloc(1, sizeof(SVCXPRT)));
  tcp_conn* cd = new (std::nothrow) tcp_conn;
  if (!x || !cd) {
    free(x);
    delete cd;
    return nullptr;
  }
  cd->ssl_ctx = ctx;
  cd->ssl = ssl;
  if (!VYRRPC_xdrrec_create(&cd->xdrs, sendsize, recvsize, reinterpret_cast<char*>(x), readtcp, writetcp)) {
    free(x);
    delete cd;
    return nullptr;
  }
  x->xp_sock = fd;
  x->xp_kind = XPRT_CONNECTION;
  x->xp_port = 0;
  x->xp_ops = &conn_ops;
  x->xp_p1 = reinterpret_cast<char*>(cd);
  x->xp_p2 = nullptr;
  x->xp_verf = VYRRPC__null_auth;
  x->xp_verf.oa_base = cd->verf_body;
  x->xp_addrlen = 0;
  x->xp_events = POLLIN;
  x->xp_serial = ++next_serial;
  if (ssl) {
    tls_modes(ssl);
    start_handshake(x);
    update_wait(x);
  }
  return x;
}

void thread_gone() {
  Threaded& t = threaded();
  std::lock_guard lock(t.mu);
  --t.running;
  t.cv.notify_all();
}

int svctcp_handler(void* arg) {
  SVCXPRT* x = static_cast<SVCXPRT*>(arg);
  while (VYRRPC_svc_doreq(x) != XPRT_DIED) {
  }
  if (_svc_threadterm_hook) _svc_threadterm_hook(x);
  // The thread's TLS library state goes now, before the thread counts as gone.
  OPENSSL_thread_stop();
  thread_gone();
  return 0;
}

void resume_listeners() {
  for (SVCXPRT* l : listeners) {
    tcp_rendezvous* r = reinterpret_cast<tcp_rendezvous*>(l->xp_p1);
    if (!r->paused) continue;
    r->paused = 0;
    l->xp_events = POLLIN;
    l->xp_wake_ms = 0;
  }
}

// Out of descriptors: the waiting connection is taken with the reserve
// descriptor and closed at once, so its peer sees a refusal; without a
// reserve the listener rests until a descriptor is freed.
void refuse_for_want_of_descriptors(SVCXPRT* x) {
  if (!accept_failure_logged) {
    logit(LOG_ERR, __FILE__, __LINE__,
          "cannot accept connections (%m): refusing them until descriptors are freed");
    accept_failure_logged = true;
  }
  if (reserve_fd >= 0) {
    close(reserve_fd);
    reserve_fd = -1;
    int fd = accept4(x->xp_sock, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) close(fd);
    reserve_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (reserve_fd >= 0) return;
  }
  tcp_rendezvous* r = reinterpret_cast<tcp_rendezvous*>(x->xp_p1);
  r->paused = 1;
  x->xp_events = 0;
  x->xp_wake_ms = VYRRPC__svc_now_ms() + kListenerRestMs;
}

int rendezvous_recv(SVCXPRT* x, rpc_msg*) {
  tcp_rendezvous* r = reinterpret_cast<tcp_rendezvous*>(x->xp_p1);
  if (r->paused) {
    // Called because its rest is over: poll it again, accept when ready.
    resume_listeners();
    return FALSE;
  }
  sockaddr_storage addr;
  socklen_t len;
  int fd;
  do {
    len = sizeof addr;
    fd = accept4(x->xp_sock, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE) refuse_for_want_of_descriptors(x);
    return FALSE;
  }
  accept_failure_logged = false;
  // Replies go out as soon as they are written, not when the peer's
  // acknowledgement of an earlier segment comes back.
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  SSL* ssl = nullptr;
  if (r->ssl_ctx) {
    ssl = VYRRPC__tls_new(r->ssl_ctx, fd, true);
    if (!ssl) {
      close(fd);
      return FALSE;
    }
  }
  SVCXPRT* c = make_conn(fd, r->sendsize, r->recvsize, r->ssl_ctx, ssl);
  if (!c) {
    if (ssl) SSL_free(ssl);
    close(fd);
    return FALSE;
  }
  memcpy(&c->xp_raddr, &addr, len < sizeof addr ? len : sizeof addr);
  c->xp_addrlen = len;
  if (r->threading) {
    conn_of(c)->singlethreaded = 0;
    {
      Threaded& t = threaded();
      std::lock_guard lock(t.mu);
      t.socks.push_back(c->xp_sock);
      t.running++;
    }
    if (VYR_thread_create(svctcp_handler, 0, c)) {
      thread_failure_logged = false;
    } else {
      thread_gone();
      // Out of threads or memory: the peer sees its connection closed.
      if (!thread_failure_logged)
        logit(LOG_ERR, __FILE__, __LINE__,
              "cannot start a thread for a connection: closing connections until one starts");
      thread_failure_logged = true;
      svctcp_destroy(c);
    }
  } else if (dead(conn_of(c))) {
    svctcp_destroy(c);
  } else {
    VYRRPC_xprt_register(c);
  }
  return FALSE;
}

int svctcp_recv(SVCXPRT* x, rpc_msg* msg) {
  tcp_conn* cd = conn_of(x);
  XDR* xdrs = &cd->xdrs;
  if (cd->singlethreaded) {
    progress(x);
    check_deadlines(cd);
  } else {
    wait_for_record(x);
  }
  update_wait(x);
  if (dead(cd) || cd->handshaking || cd->out.pending() > 0 || cd->sslpending || !has_record(cd)) return FALSE;
  xdrs->x_op = XDR_DECODE;
  if (VYRRPC_xdrrec_skiprecord(xdrs) && VYRRPC_xdr_callmsg(xdrs, msg)) {
    cd->x_id = msg->rm_xid;
    return TRUE;
  }
  // Framing lost (a malformed fragment mark): nothing more can be read.
  if (VYRRPC_xdrrec_broken(xdrs)) mark_dead(cd);
  return FALSE;
}

xprt_stat svctcp_stat(SVCXPRT* x) {
  tcp_conn* cd = conn_of(x);
  if (!dead(cd) && cd->sslpending && cd->out.pending() == 0) start_pending_tls(x);
  check_deadlines(cd);
  update_wait(x);
  if (dead(cd)) return XPRT_DIED;
  if (cd->handshaking || cd->out.pending() > 0 || cd->sslpending) return XPRT_IDLE;
  return has_record(cd) ? XPRT_MOREREQS : XPRT_IDLE;
}

VYRRPC_CALLS_FILTERS
int svctcp_getargs(SVCXPRT* x, xdrproc_t proc, char* args) { return proc(&conn_of(x)->xdrs, args); }

int svctcp_freeargs(SVCXPRT* x, xdrproc_t proc, char* args) {
  return VYRRPC__free_with(&conn_of(x)->xdrs, proc, args);
}

int svctcp_reply(SVCXPRT* x, rpc_msg* msg) {
  tcp_conn* cd = conn_of(x);
  XDR* xdrs = &cd->xdrs;
  xdrs->x_op = XDR_ENCODE;
  msg->rm_xid = cd->x_id;
  int stat = VYRRPC_xdr_replymsg(xdrs, msg);
  if (!stat && !dead(cd)) {
    // Never send a truncated reply: drop what was encoded and answer with a
    // system error; when part of it already went out, drop the connection.
    logit(LOG_ERR, __FILE__, __LINE__, "unable to encode the reply to call %u", cd->x_id);
    if (!VYRRPC_xdrrec_discard(xdrs)) {
      mark_dead(cd);
    } else {
      rpc_msg err = VYRRPC__system_err_reply(cd->x_id, x->xp_verf);
      if (!VYRRPC_xdr_replymsg(xdrs, &err)) mark_dead(cd);
    }
  }
  if (!dead(cd)) VYRRPC_xdrrec_endofrecord(xdrs, TRUE);
  return stat;
}

void svctcp_destroy(SVCXPRT* x) {
  if (x->xp_kind == XPRT_LISTENER) {
    close(x->xp_sock);
    VYRRPC_xprt_unregister(x);
    listeners.erase(std::remove(listeners.begin(), listeners.end(), x), listeners.end());
    free(x->xp_p1);
    free(x);
    return;
  }
  if (_svc_conn_closed_hook) _svc_conn_closed_hook(x);
  tcp_conn* cd = conn_of(x);
  if (!cd->singlethreaded) {
    Threaded& t = threaded();
    std::lock_guard lock(t.mu);
    t.socks.erase(std::remove(t.socks.begin(), t.socks.end(), x->xp_sock), t.socks.end());
  }
  close(x->xp_sock);
  const bool loopServed = cd->singlethreaded;
  if (loopServed) VYRRPC_xprt_unregister(x);
  VYRRPC_xdr_destroy(&cd->xdrs);
  if (cd->ssl) SSL_free(cd->ssl);
  delete cd;
  free(x);
  // A descriptor is free again. The listeners are the loop thread's: a
  // connection's own thread leaves a resting listener to its next try.
  if (loopServed) resume_listeners();
}

int svctcp_control(SVCXPRT* x, int request, char* info) {
  bool listener = x->xp_kind == XPRT_LISTENER;
  tcp_rendezvous* r = listener ? reinterpret_cast<tcp_rendezvous*>(x->xp_p1) : nullptr;
  tcp_conn* cd = listener ? nullptr : conn_of(x);
  switch (request) {
    case VYRRPC_SVCCTL_THREADING:
      if (r) r->threading = 1;
      return TRUE;
    case VYRRPC_SVCCTL_TLS_CAPABLE:
      *reinterpret_cast<int*>(info) = 1;
      return TRUE;
    case VYRRPC_SVCCTL_GET_SSL_CTX:
      *reinterpret_cast<SSL_CTX**>(info) = r ? r->ssl_ctx : cd->ssl_ctx;
      return TRUE;
    case VYRRPC_SVCCTL_SET_SSL_CTX:
      if (r) {
        r->ssl_ctx = reinterpret_cast<SSL_CTX*>(info);
        return TRUE;
      }
      if (cd->ssl_ctx || info == nullptr) return FALSE;
      cd->ssl_ctx = reinterpret_cast<SSL_CTX*>(info);
      cd->sslpending = 1;
      return TRUE;
    case VYRRPC_SVCCTL_GET_SSL:
      *reinterpret_cast<SSL**>(info) = r ? nullptr : cd->ssl;
      return TRUE;
  }
  return FALSE;
}

}  // namespace

SVCXPRT* VYRRPC_svcssl_create(void* ctx, int sock, unsigned int sendsize, unsigned int recvsize) {
  bool made = false;
  sockaddr_storage addr;
  socklen_t len = sizeof addr;
  if (sock == -1) {
    sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (sock < 0) return nullptr;
    made = true;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    if (VYRRPC_bindresvport(sock, &sin) != 0) {
      sin.sin_port = 0;
      bind(sock, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    }
  }
  if (getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (made) close(sock);
    return nullptr;
  }
  listen(sock, 32);
  SVCXPRT* x = static_cast<SVCXPRT*>(calloc(1, sizeof(SVCXPRT)));
  tcp_rendezvous* r = static_cast<tcp_rendezvous*>(calloc(1, sizeof(tcp_rendezvous)));
  if (!x || !r) {
    free(x);
    free(r);
    if (made) close(sock);
    return nullptr;
  }
  if (reserve_fd < 0) reserve_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  r->sendsize = sendsize;
  r->recvsize = recvsize;
  r->ssl_ctx = static_cast<SSL_CTX*>(ctx);
  x->xp_sock = sock;
  x->xp_kind = XPRT_LISTENER;
  x->xp_ops = &rendezvous_ops;
  x->xp_p1 = reinterpret_cast<char*>(r);
  x->xp_p2 = nullptr;
  x->xp_verf = VYRRPC__null_auth;
  x->xp_events = POLLIN;
  if (addr.ss_family == AF_INET)
    x->xp_port = ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  else if (addr.ss_family == AF_INET6)
    x->xp_port = ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  listeners.push_back(x);
  VYRRPC_xprt_register(x);
  return x;
}

int VYRRPC_svc_end_threads(int waitMs) {
  Threaded& t = threaded();
  std::unique_lock lock(t.mu);
  for (int fd : t.socks) shutdown(fd, SHUT_RDWR);
  return t.cv.wait_for(lock, std::chrono::milliseconds(waitMs), [&t] { return t.running == 0; }) ? TRUE
                                                                                                 : FALSE;
}

SVCXPRT* VYRRPC_svctcp_create(int sock, unsigned int sendsize, unsigned int recvsize) {
  return VYRRPC_svcssl_create(nullptr, sock, sendsize, recvsize);
}

SVCXPRT* VYRRPC_makefd_xprt(int fd, unsigned int sendsize, unsigned int recvsize) {
  return make_conn(fd, sendsize, recvsize, nullptr, nullptr);
}
