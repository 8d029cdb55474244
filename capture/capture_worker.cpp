// Placeholder until the capture pipeline is built: ends at once.
#include "capture/capture_worker.h"

#include <atomic>

plat::DWORD CaptureWorker(void* busy) {
    static_cast<std::atomic<int>*>(busy)->store(0);
    return 1;
}
