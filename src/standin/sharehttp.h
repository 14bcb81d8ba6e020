#pragma once
// The HTTP transport of the service, on libmicrohttpd: event loops over epoll
// on a few threads, so that no client, however slow, holds a thread.
//
// The service accepts each connection itself and reads its first request
// head without taking it from the socket (see sharehead.h); the library gets
// the connection only once that head is whole and sound, together with any
// requests sent right after it, and the answer to the last of those closes
// the connection. A refused head gets the service's own answer.
//
// Limits: `connections` in all and `perAddress` from one client address.
// When all are taken, a client from an address holding fewer than the
// address holding the most gets in, and one connection of that address is
// closed: its oldest without a whole request, else its oldest waiting for
// its next request, else its oldest. Two clocks close connections: each
// request (head and any small body) must arrive whole within `requestTime`
// of connecting or of the previous answer, however slowly its bytes trickle
// in; and while an answer is sent the client may not stop reading for
// `idleSeconds`. HEAD gets the answer to GET without its body.

#include "shareroutes.h"

#include <chrono>
#include <functional>
#include <memory>

namespace zandorel::standin {

struct TransportLimits {
    unsigned connections = 512;
    unsigned perAddress = 128;
    std::chrono::milliseconds requestTime{10000};
    unsigned idleSeconds = 30;
    unsigned threads = 0; // 0: one per processor, from 2 to 4
};

class HttpTransport {
public:
    using Handler = std::function<Response(const Request&)>;

    // `log`: one line a request on stderr, and the library's own messages.
    HttpTransport(Handler handler, TransportLimits limits, bool log);
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // Serves on a bound, listening socket, which the transport owns from then
    // on. False when the event loops cannot start.
    bool start(int listenFd);
    // Closes every connection and the socket; waits for the event loops to end.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zandorel::standin
