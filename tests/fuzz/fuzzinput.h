// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Quorvane developers
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The bytes a fuzzer gives a target, parted between the calls it makes: each part after its length in two
// bytes, so that a mutation inside one part leaves the others where they were. Past the end, every part is
// empty.
namespace quorvane::test {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_left(size)
    {
    }

    bool empty() const { return m_left == 0; }
    std::uint8_t byte()
    {
        if (m_left == 0)
            return 0;
        --m_left;
        return *m_data++;
    }
    std::vector<std::uint8_t> part()
    {
        const std::size_t high = byte();
        const std::size_t length = high << 8 | byte();
        return take(std::min(length, m_left));
    }
    std::vector<std::uint8_t> rest() { return take(m_left); }

private:
    std::vector<std::uint8_t> take(std::size_t n)
    {
        std::vector<std::uint8_t> out(m_data, m_data + n);
        m_data += n;
        m_left -= n;
        return out;
    }

    const std::uint8_t* m_data;
    std::size_t m_left;
};

} // namespace quorvane::test
