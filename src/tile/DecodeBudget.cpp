#include "tile/DecodeBudget.h"

#include <algorithm>
#include <utility>

DecodeBudget::DecodeBudget(qint64 limitBytes) : m_limit(limitBytes) {}

DecodeBudget& DecodeBudget::process()
{
    static DecodeBudget budget;
    return budget;
}

void DecodeBudget::setLimit(qint64 bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_limit = bytes;
    }
    m_changed.notify_all();
}

qint64 DecodeBudget::limit() const
{
    std::lock_guard lock(m_mutex);
    return m_limit;
}

qint64 DecodeBudget::held() const
{
    std::lock_guard lock(m_mutex);
    return m_held;
}

DecodeBudget::Reservation DecodeBudget::reserve(qint64 bytes)
{
    bytes = std::max<qint64>(bytes, 0);
    std::unique_lock lock(m_mutex);
    if (bytes > m_limit)
        return Reservation();
    const std::uint64_t ticket = m_nextTicket++;
    // First in line and fitting; a limit lowered meanwhile below bytes
    // refuses rather than waits for what can never come.
    m_changed.wait(lock, [&] {
        return ticket == m_serving && (m_held + bytes <= m_limit || bytes > m_limit);
    });
    ++m_serving;
    if (bytes > m_limit) {
        lock.unlock();
        m_changed.notify_all();
        return Reservation();
    }
    m_held += bytes;
    lock.unlock();
    m_changed.notify_all(); // the next in line may fit too
    return Reservation(this, bytes);
}

void DecodeBudget::give(qint64 bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_held -= bytes;
    }
    m_changed.notify_all();
}

DecodeBudget::Reservation::Reservation(Reservation&& other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(std::exchange(other.m_bytes, 0))
{
}

DecodeBudget::Reservation& DecodeBudget::Reservation::operator=(Reservation&& other) noexcept
{
    if (this != &other) {
        release();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

DecodeBudget::Reservation::~Reservation()
{
    release();
}

void DecodeBudget::Reservation::release()
{
    if (m_budget)
        m_budget->give(m_bytes);
    m_budget = nullptr;
    m_bytes = 0;
}
