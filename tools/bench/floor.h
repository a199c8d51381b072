#pragma once
// The floor: bare Winsock calls in the same process, with the waits the product
// makes (1 ms drain, 1 s write readiness, the caller's time-out for the answer)
// and nothing else.
#include "win.h"
#include <cstdint>
#include <string>

namespace bench {

class FloorClient {
public:
    explicit FloorClient(uint16_t port);
    ~FloorClient();
    FloorClient(const FloorClient&) = delete;
    FloorClient& operator=(const FloorClient&) = delete;

    // One exchange: drain, send, wait for the answer, one receive of up to 1024 bytes.
    std::string Exchange(const std::string& request, int timeoutMs);
    // Sends request and reads until bytes have come, in receives of chunk bytes;
    // returns the counter when the last byte was read, 0 on failure.
    LONGLONG ReadAll(const std::string& request, size_t bytes, int chunk);

private:
    bool Ready(bool write, long seconds, long microseconds);

    SOCKET m_Socket;
};

} // namespace bench
