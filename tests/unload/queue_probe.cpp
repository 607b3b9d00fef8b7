// A small library that uses the thread message queue the module uses, so that a test can
// check that a thread which used it does not keep the library loaded.

#include "platform/thread_queue.h"

extern "C" __attribute__((visibility("default"))) int UseThreadQueue() {
    const auto queue = brevor::platform::TThreadQueue::Current();
    int ran = 0;
    queue->Post([&] { ++ran; });
    queue->ProcessMessages();
    return ran;
}
