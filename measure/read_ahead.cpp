#include "measure/read_ahead.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "numeric/failure.h"

namespace orv {

namespace {

struct Ahead {
    RunSide inner;
    int depth = 2;
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, RunFrame> ready;  // frames read and not yet taken
    int next = 0;                   // the frame the thread reads next
    bool stop = false;
    std::exception_ptr error;  // the failure of frame `next`
    bool have_last = false;
    RunFrame last;  // the side's last frame, kept for repeats
    std::thread thread;

    ~Ahead() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        if (thread.joinable()) thread.join();
    }
};

void read_frames(Ahead& a) {
    for (;;) {
        int index = 0;
        {
            std::unique_lock lock(a.mutex);
            a.changed.wait(lock, [&] {
                return a.stop || a.next >= a.inner.count ||
                       static_cast<int>(a.ready.size()) < a.depth;
            });
            if (a.stop || a.next >= a.inner.count) return;
            index = a.next;
        }
        RunFrame frame;
        std::exception_ptr error;
        try {
            frame = a.inner.read(index);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(a.mutex);
            if (error) {
                a.error = error;
            } else {
                if (index == a.inner.count - 1) {
                    a.last = frame;
                    a.have_last = true;
                }
                a.ready.emplace(index, std::move(frame));
                ++a.next;
            }
        }
        a.changed.notify_all();
        if (error) return;
    }
}

}  // namespace

bool decodes_in_order(const RunSide& side) {
    if (!side.media) return false;
    for (const SequenceEntry& entry : side.media->entries) {
        if (entry.kind == MediaKind::video || entry.kind == MediaKind::raw) return true;
    }
    return false;
}

RunSide read_ahead(const RunSide& side, int depth) {
    auto ahead = std::make_shared<Ahead>();
    ahead->inner = side;
    ahead->depth = std::max(depth, 1);
    Ahead* a = ahead.get();
    ahead->thread = std::thread([a] { read_frames(*a); });
    RunSide wrapped = side;
    wrapped.read = [ahead](int index) {
        Ahead& s = *ahead;
        std::unique_lock lock(s.mutex);
        const bool last = index == s.inner.count - 1;
        s.changed.wait(lock, [&] {
            return s.ready.count(index) != 0 || (last && s.have_last) ||
                   (s.error && s.next == index) || s.next > index;
        });
        const auto found = s.ready.find(index);
        if (found != s.ready.end()) {
            RunFrame frame = std::move(found->second);
            s.ready.erase(found);
            lock.unlock();
            s.changed.notify_all();
            return frame;
        }
        if (last && s.have_last) return RunFrame(s.last);
        if (s.error && s.next == index) std::rethrow_exception(s.error);
        // A frame taken before and asked for again: a run never does this.
        const std::string path = s.inner.media && !s.inner.media->entries.empty()
                                     ? s.inner.media->entries.front().path
                                     : std::string();
        raise_failure(FailureKind::media_not_read, path);
    };
    return wrapped;
}

}  // namespace orv
