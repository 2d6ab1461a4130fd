// An output stream of one port's thread that hands each whole line to a stream that the ports
// share, under a lock: lines of different ports never tear each other. Its failure is the shared
// stream's, so a reader that went away is noticed on every port.
#pragma once

#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

namespace cli {

class LineSink final : public std::streambuf {
public:
    // `portTag` goes after the "tarv-cli: " that begins a line of tarv-cli's own, naming the port
    // that the line speaks of; empty for lines that name their port themselves.
    LineSink(std::ostream& shared, std::mutex& lock, std::string portTag)
        : shared_(shared), lock_(lock), portTag_(std::move(portTag))
    {
    }

protected:
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        line_ += traits_type::to_char_type(ch);
        if (ch == '\n' && !Emit()) return traits_type::eof();
        return ch;
    }
    int sync() override { return line_.empty() || Emit() ? 0 : -1; }

private:
    bool Emit()
    {
        static constexpr std::string_view kOwn = "tarv-cli: ";
        if (!portTag_.empty() && line_.starts_with(kOwn)) line_.insert(kOwn.size(), portTag_);
        const std::lock_guard<std::mutex> hold(lock_);
        shared_ << line_ << std::flush;
        line_.clear();
        return !shared_.fail();
    }

    std::ostream& shared_;
    std::mutex& lock_;
    std::string portTag_;
    std::string line_;
};

}  // namespace cli
