// QueueCall: hands a call from a worker thread to the thread of a QObject,
// through that thread's event queue. Everything the worker wrote before the
// call (the call's captures, buffers it points to) is visible to the call.
//
// Qt's event queue gives that ordering with its own futex-based lock, which
// ThreadSanitizer cannot see in an uninstrumented Qt; under ThreadSanitizer
// the hand-off is therefore also announced to it (a release before queuing,
// an acquire before running), so that it checks everything else about the
// threads. Without ThreadSanitizer this is a plain queued invokeMethod.
#pragma once

#include <QObject>
#include <functional>

// Queues `call` to run on `context`'s thread. If `context` is destroyed
// before the call runs, the call is dropped (destroyed without running).
// Safe from any thread while `context` lives.
void QueueCall(QObject* context, std::function<void()> call);
