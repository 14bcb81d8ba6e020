#pragma once
// The HTTP transport of the service, on libmicrohttpd: event loops over epoll
// on a few threads, so that no client, however slow, holds a thread. A
// connection is refused beyond the limits in all and per client address, and
// closed by either of two clocks: each request (request line, header fields
// and any small body) must arrive whole within `requestTime` of connecting or
// of the end of the previous answer, however slowly its bytes trickle in, so
// idle and slow connections alike go; and while an answer is sent the client
// may not stop reading for `idleSeconds`. Requests sent back to back
// (pipelined) are answered in order; HEAD gets the answer to GET without its
// body.

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
