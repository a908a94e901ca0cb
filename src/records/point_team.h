// The points of one large set shared among threads: a fit of a set with
// many points hands blocks of its per-point work (model values, residuals,
// Jacobian rows) to the threads a compute lends it. Only per-point results
// are computed in parallel; every sum over the points is still formed by
// one thread in point order, so a fit gives the same bits with any number
// of threads.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace quillon {

// Below this many points the work stays on the calling thread: handing
// blocks over costs more than it saves.
inline constexpr std::size_t kPointTeamMinimum = 32768;

// The threads a compute lends to its large sets while the scope lives (the
// calling thread of each fit counts as one). Only one scope lends at a
// time: a scope opened while another is open lends nothing, and neither
// does one of a single thread.
class PointTeamScope {
  public:
    explicit PointTeamScope(unsigned threadCount);
    PointTeamScope(const PointTeamScope&) = delete;
    PointTeamScope& operator=(const PointTeamScope&) = delete;
    ~PointTeamScope();

  private:
    bool m_owner = false;
};

// A reference to the body of a parallel range, which handles the items
// first .. last-1; the body must outlive the call it is passed to.
class PointBlockBody {
  public:
    template <class Body>
    explicit PointBlockBody(Body& body)
        : m_body(&body), m_call([](void* b, std::size_t first, std::size_t last) {
              (*static_cast<Body*>(b))(first, last);
          }) {}
    void operator()(std::size_t first, std::size_t last) const { m_call(m_body, first, last); }

  private:
    void* m_body;
    void (*m_call)(void*, std::size_t, std::size_t);
};

// Runs the range on the lent threads in blocks of grain items; false, with
// nothing run, when no threads are lent or they are busy with another range.
bool RunOnPointTeam(std::size_t count, std::size_t grain, PointBlockBody body);

// Runs body over [0, count) in blocks of about grain items, on the lent
// threads when count reaches minimum and the team is free, else on the
// calling thread in one call. Returns when every block is done. The body
// must only write what belongs to its own items.
template <class Body>
void ForPointBlocks(std::size_t count, std::size_t grain, std::size_t minimum, Body&& body) {
    if (count >= minimum && count > grain && grain > 0 &&
        RunOnPointTeam(count, grain, PointBlockBody(body))) {
        return;
    }
    if (count > 0) {
        body(std::size_t{0}, count);
    }
}

// As above for points: blocks of 16384 points from kPointTeamMinimum on.
template <class Body>
void ForPointBlocks(std::size_t count, Body&& body) {
    ForPointBlocks(count, 16384, kPointTeamMinimum, body);
}

// As RunOnPointTeam, and after runs on the calling thread on every block in
// block order, each as soon as it and the blocks before it are done.
bool RunOnPointTeamInOrder(std::size_t count, std::size_t grain, PointBlockBody body,
                           PointBlockBody after);

// Runs body over the points [0, count) as ForPointBlocks does, and after
// on the calling thread over the same points in point order, block by
// block, while the team goes on with later blocks: a sum that after forms
// adds its terms exactly as one pass over all the points would.
template <class Body, class After>
void ForPointBlocksThenInOrder(std::size_t count, Body&& body, After&& after) {
    constexpr std::size_t kGrain = 16384;
    if (count >= kPointTeamMinimum &&
        RunOnPointTeamInOrder(count, kGrain, PointBlockBody(body), PointBlockBody(after))) {
        return;
    }
    if (count > 0) {
        body(std::size_t{0}, count);
        after(std::size_t{0}, count);
    }
}

// The threads the team would use now (1 when nothing is lent).
unsigned PointTeamThreads();

// An allocator that leaves new elements of a resize unset, so the point
// team writes (and the kernel clears) a large array's pages on every lent
// thread instead of one.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    explicit UninitializedAllocator(const UninitializedAllocator<U>& /*other*/) {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Maps the pages of [data, data + bytes) for writing before they are
// written: one call per piece instead of a fault per page (each fault is
// dear on a virtual machine), the 2 MiB pieces shared among the lent
// threads. Only a hint, and the content is left as it is: where the kernel
// cannot, the pages fault in as they are written.
void PrefaultForWriting(void* data, std::size_t bytes);

// Room for count elements in vector, the pages of the new room mapped as
// PrefaultForWriting maps them. May throw std::bad_alloc.
template <class Vector>
void ReserveOnTeam(Vector& vector, std::size_t count) {
    vector.reserve(count);
    using Element = typename Vector::value_type;
    PrefaultForWriting(vector.data() + vector.size(),
                       (vector.capacity() - vector.size()) * sizeof(Element));
}

// A per-point array of doubles whose filling the point team shares.
using PointArray = std::vector<double, UninitializedAllocator<double>>;

// Sizes array to count elements, every one value; the writes are shared
// among the lent threads for a large array. May throw std::bad_alloc.
void AssignPoints(PointArray& array, std::size_t count, double value);

}  // namespace quillon
