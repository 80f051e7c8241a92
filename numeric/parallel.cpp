#include "numeric/parallel.h"

#include <atomic>
#include <exception>
#include <thread>

namespace orv {

namespace {

int machine_cores() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

// Cores beyond the calling thread that nobody has taken.
std::atomic<int> spare_cores{machine_cores() - 1};
std::atomic<int> budget{machine_cores()};

bool take_one() {
    int spare = spare_cores.load();
    while (spare > 0) {
        if (spare_cores.compare_exchange_weak(spare, spare - 1)) return true;
    }
    return false;
}

}  // namespace

void set_core_budget(int threads) {
    const int wanted = threads > 0 ? threads : machine_cores();
    const int old = budget.exchange(wanted);
    spare_cores.fetch_add(wanted - old);
}

CoreClaim::CoreClaim(int cores) {
    while (taken < cores && take_one()) ++taken;
}

CoreClaim::~CoreClaim() { spare_cores.fetch_add(taken); }

void run_side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
    std::exception_ptr second_error;
    std::thread helper;
    if (take_one()) {
        try {
            helper = std::thread([&] {
                try {
                    second();
                } catch (...) {
                    second_error = std::current_exception();
                }
            });
        } catch (...) {
            spare_cores.fetch_add(1);  // no thread: the calling thread runs both
        }
    }
    std::exception_ptr first_error;
    try {
        first();
    } catch (...) {
        first_error = std::current_exception();
    }
    if (helper.joinable()) {
        helper.join();
        spare_cores.fetch_add(1);
    } else if (!first_error) {
        try {
            second();
        } catch (...) {
            second_error = std::current_exception();
        }
    }
    if (first_error) std::rethrow_exception(first_error);
    if (second_error) std::rethrow_exception(second_error);
}

}  // namespace orv
