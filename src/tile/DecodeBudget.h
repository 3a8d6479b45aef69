#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The memory that decoding pictures may take at once, counted in bytes.
// A decode reserves what its picture's header says it will need before a
// pixel is decoded and gives it back when done; a reservation that does not
// fit beside those held waits for them, in the order asked. One that alone
// exceeds the whole budget is refused at once rather than waiting forever.
class DecodeBudget
{
public:
    static constexpr qint64 kDefaultBytes = qint64(1) << 30;

    explicit DecodeBudget(qint64 limitBytes = kDefaultBytes);
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    // The budget that all picture loading of this process draws from:
    // parallel workers must share one count to stay under it together, so
    // this is the one process-wide object of the picture code.
    static DecodeBudget& process();

    // Changes the limit; reservations held are kept. Waiting ones are woken
    // to fit against the new limit.
    void setLimit(qint64 bytes);
    qint64 limit() const;
    qint64 held() const;

    // What a reservation holds until it is destroyed.
    class Reservation
    {
    public:
        Reservation() = default;
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        ~Reservation();
        bool isValid() const { return m_budget != nullptr; }

    private:
        friend class DecodeBudget;
        Reservation(DecodeBudget* budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}
        void release();
        DecodeBudget* m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    // Waits until bytes fit, then holds them. Invalid (at once) when bytes
    // alone exceed the limit.
    Reservation reserve(qint64 bytes);

private:
    void give(qint64 bytes);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_limit;
    qint64 m_held = 0;
    std::uint64_t m_nextTicket = 0; // reservations are served in the order asked
    std::uint64_t m_serving = 0;
};
