// Queued calls across threads, announced to ThreadSanitizer when it runs.
#include "search/queued_call.h"

#include <memory>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define KDS_TSAN_RELEASE(p) __tsan_release(p)
#define KDS_TSAN_ACQUIRE(p) __tsan_acquire(p)
#else
#define KDS_TSAN_RELEASE(p) ((void)(p))
#define KDS_TSAN_ACQUIRE(p) ((void)(p))
#endif

void QueueCall(QObject* context, std::function<void()> call) {
  using Call = std::function<void()>;
  // Qt may drop its last reference to the queued call on either thread, so
  // whoever destroys the call (and its captures) first acquires what both
  // threads released.
  std::shared_ptr<Call> box(new Call(std::move(call)), [](Call* p) {
    KDS_TSAN_ACQUIRE(p);
    delete p;
  });
  KDS_TSAN_RELEASE(box.get());
  QMetaObject::invokeMethod(context, [box = std::move(box)] {
    KDS_TSAN_ACQUIRE(box.get());
    (*box)();
    KDS_TSAN_RELEASE(box.get());
  }, Qt::QueuedConnection);
}
