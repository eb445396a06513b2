#include "bplus_host.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tolvex::transfer::bplus_host {

namespace {

constexpr std::uint8_t ETX = 0x03, ENQ = 0x05, DLE = 0x10, NAK = 0x15;
constexpr Millis kIdle = 60000;  // nothing at all from the control for so long: give up
constexpr int kMaxErrors = 10;

// The B protocol checksum: rotate-left-with-carry style doubling, then add
// with end-around carry.
unsigned AddSum(unsigned sum, std::uint8_t b)
{
    sum *= 2;
    if (sum & 0x100)
        sum = (sum & 0xFF) + 1;
    sum += b;
    if (sum & 0x100)
        sum = (sum & 0xFF) + 1;
    return sum;
}

std::uint8_t Plain(std::uint8_t x)
{
    // 0x40-0x5F stand for 0x00-0x1F, 0x60-0x7F for 0x80-0x9F.
    if (x >= 0x60)
        return static_cast<std::uint8_t>(((x - 0x60) & 0x1F) | 0x80);
    return static_cast<std::uint8_t>(x & 0x1F);
}

bool DefaultSet(std::uint8_t c) { return c == 0x03 || c == 0x05 || c == 0x10 || c == 0x11 || c == 0x13 || c == 0x15; }

}  // namespace

Host::Host(Script script) : s_(std::move(script)) {}

void Host::OnStart(Millis now) { ArmTimer(now + s_.hello_wait); }

void Host::OnFeed(std::string_view bytes, Millis now)
{
    for (char ch : bytes) {
        if (Finished())
            return;
        Byte(static_cast<std::uint8_t>(ch), now);
    }
    if (!Finished())
        ArmTimer(now + (outstanding_ ? s_.ack_wait : stage_ == Stage::kHello ? s_.hello_wait : kIdle));
}

void Host::OnTick(Millis now)
{
    if (stage_ == Stage::kHello) {
        Send(std::string(1, static_cast<char>(ENQ)));
        ArmTimer(now + s_.hello_wait);
        return;
    }
    if (!outstanding_) {
        End(false);
        return;
    }
    // No ACK: ask for it. The answer tells whether the packet arrived.
    if (++errors_ > kMaxErrors) {
        End(false);
        return;
    }
    Send(std::string(1, static_cast<char>(ENQ)));
    asked_ = true;
    ArmTimer(now + s_.ack_wait);
}

bool Host::Quoted(std::uint8_t c) const
{
    if (c < 0x20)
        return s_.quote_all || DefaultSet(c) || control_low_[c];
    if (c >= 0x80 && c < 0xA0)
        return s_.quote_all || (high_ && control_high_[c - 0x80]);
    return false;
}

std::string Host::Wire(std::uint8_t n, const std::string& data) const
{
    std::string w = {static_cast<char>(DLE), 'B', static_cast<char>('0' + n)};
    unsigned sum = AddSum(0, static_cast<std::uint8_t>('0' + n));
    auto put = [&](std::uint8_t c) {
        if (Quoted(c)) {
            w += static_cast<char>(DLE);
            w += static_cast<char>(c < 0x20 ? c + 0x40 : c - 0x20);
        } else {
            w += static_cast<char>(c);
        }
    };
    for (char ch : data) {
        const auto c = static_cast<std::uint8_t>(ch);
        sum = AddSum(sum, c);
        put(c);
    }
    sum = AddSum(sum, ETX);
    w += static_cast<char>(ETX);
    put(static_cast<std::uint8_t>(sum));
    return w;
}

void Host::Put(std::string data, Millis now)
{
    seq_ = static_cast<std::uint8_t>((seq_ + 1) % 10);
    out_num_ = seq_;
    out_data_ = std::move(data);
    outstanding_ = true;
    asked_ = false;
    Send(Wire(out_num_, out_data_));
    ArmTimer(now + s_.ack_wait);
}

void Host::ResendOutstanding(Millis now)
{
    if (!outstanding_)
        return;
    ++packets_resent;
    asked_ = false;
    Send(Wire(out_num_, out_data_));
    ArmTimer(now + s_.ack_wait);
}

void Host::SendAckOf(std::uint8_t n) { Send(std::string{static_cast<char>(DLE), static_cast<char>('0' + n)}); }

void Host::Byte(std::uint8_t c, Millis now)
{
    if (stage_ == Stage::kHello) {
        hello_ += static_cast<char>(c);
        const std::string tag = {static_cast<char>(DLE), '+', '+', static_cast<char>(DLE)};
        const std::size_t at = hello_.find(tag);
        if (at == std::string::npos || at + 4 >= hello_.size())
            return;
        const char d = hello_[at + 4];
        if (d < '0' || d > '9')
            return;
        seq_ = last_got_ = static_cast<std::uint8_t>(d - '0');
        if (s_.parameters) {
            std::string p(s_.short_parameters ? 6 : 18, '\0');
            p[0] = '+';
            p[2] = 1;  // we could take one packet ahead
            p[3] = static_cast<char>(s_.block_units);
            p[5] = 1;
            if (!s_.short_parameters) {
                p[6] = static_cast<char>(s_.download_resume);
                p[7] = 0x14;  // ETX ENQ
                p[9] = static_cast<char>(0xD4);  // DLE XON XOFF NAK
                if (s_.ask_quote_all)
                    for (int i = 7; i < 15; ++i)
                        p[static_cast<std::size_t>(i)] = static_cast<char>(0xFF);
                p[15] = static_cast<char>(s_.download_resume);
                p[17] = static_cast<char>(s_.file_info);
            }
            stage_ = Stage::kParams;
            Put(p, now);
        } else {
            stage_ = Stage::kRequest;
            Put(s_.request.empty() ? std::string("T") + (s_.command == Script::Command::kSend ? 'D' : 'U') + s_.type +
                                         s_.name
                                   : s_.request,
                now);
        }
        return;
    }
    switch (rx_) {
    case Rx::kIdle:
        if (c == DLE) rx_ = Rx::kDle;
        else if (c == ENQ) SendAckOf(last_got_);
        else if (c == NAK) ResendOutstanding(now);
        return;
    case Rx::kDle:
        rx_ = Rx::kIdle;
        if (c == 'B') rx_ = Rx::kSeq;
        else if (c >= '0' && c <= '9') Ack(static_cast<std::uint8_t>(c - '0'), now);
        else if (c == ENQ) SendAckOf(last_got_);
        return;
    case Rx::kSeq:
        rx_seq_ = static_cast<std::uint8_t>(c - '0');
        rx_sum_ = AddSum(0, c);
        rx_data_.clear();
        rx_ = Rx::kData;
        return;
    case Rx::kData:
        if (c == DLE) {
            rx_ = Rx::kDataDle;
        } else if (c == ETX) {
            rx_sum_ = AddSum(rx_sum_, ETX);
            rx_ = Rx::kCheck;
        } else if (c == ENQ) {
            rx_ = Rx::kIdle;
            SendAckOf(last_got_);
        } else {
            rx_data_ += static_cast<char>(c);
            rx_sum_ = AddSum(rx_sum_, c);
        }
        return;
    case Rx::kDataDle:
        rx_data_ += static_cast<char>(Plain(c));
        rx_sum_ = AddSum(rx_sum_, Plain(c));
        rx_ = Rx::kData;
        return;
    case Rx::kCheck:
    case Rx::kCheckDle: {
        if (rx_ == Rx::kCheck && c == DLE) {
            rx_ = Rx::kCheckDle;
            return;
        }
        if (rx_ == Rx::kCheck && c == ENQ) {
            rx_ = Rx::kIdle;
            SendAckOf(last_got_);
            return;
        }
        const std::uint8_t check = rx_ == Rx::kCheckDle ? Plain(c) : c;
        rx_ = Rx::kIdle;
        if (check != rx_sum_) {
            ++naks_sent;
            Send(std::string(1, static_cast<char>(NAK)));
            return;
        }
        const bool failure = !rx_data_.empty() && rx_data_[0] == 'F';
        if (rx_seq_ == (seq_ + 1) % 10 || failure) {
            seq_ = last_got_ = rx_seq_;
            SendAckOf(last_got_);
            Packet(rx_data_, now);
        } else if (rx_seq_ == last_got_) {
            SendAckOf(last_got_);  // a repeat: its ACK was lost
        } else {
            ++naks_sent;
            Send(std::string(1, static_cast<char>(NAK)));
        }
        return;
    }
    }
}

void Host::Ack(std::uint8_t digit, Millis now)
{
    if (!outstanding_)
        return;
    if (digit != out_num_) {
        if (asked_)
            ResendOutstanding(now);  // the answer to our ENQ: it did not arrive
        return;
    }
    outstanding_ = false;
    asked_ = false;
    errors_ = 0;
    switch (stage_) {
    case Stage::kRequest:
        if (s_.command == Script::Command::kFetch) {
            stage_ = Stage::kReceiving;
        } else {
            stage_ = Stage::kSending;
            if (fi_) {
                info_sent_ = true;
                std::string ti = "TI";
                ti += s_.type;
                ti += '\0';
                ti += std::to_string(s_.data.size()) + " 0 19931118 0 0 0 ";
                ti += static_cast<char>(s_.name.size());
                ti += s_.name;
                Put(ti, now);
            } else {
                NextData(now);
            }
        }
        return;
    case Stage::kSending: NextData(now); return;
    case Stage::kClosing: End(true); return;
    default: return;
    }
}

void Host::NextData(Millis now)
{
    if (pos_ < static_cast<std::int64_t>(s_.data.size())) {
        const std::size_t n = std::min(block_, s_.data.size() - static_cast<std::size_t>(pos_));
        Put("N" + s_.data.substr(static_cast<std::size_t>(pos_), n), now);
        pos_ += static_cast<std::int64_t>(n);
        return;
    }
    stage_ = Stage::kClosing;
    Put("TC", now);
}

void Host::Packet(const std::string& data, Millis now)
{
    const char type = data.empty() ? '\0' : data[0];
    if (type == 'F') {
        failure = data;
        End(false);
        return;
    }
    switch (stage_) {
    case Stage::kParams: {
        if (type != '+')
            return;
        control_params = data;
        if (outstanding_)
            differences.parameters_not_acknowledged = true;
        outstanding_ = false;
        auto at = [&](std::size_t i) { return i < data.size() ? static_cast<signed char>(data[i]) : 0; };
        const int units = std::min(s_.block_units > 0 ? s_.block_units : 4, at(3) > 0 ? at(3) : 4);
        block_ = static_cast<std::size_t>(units) * 128;
        fi_ = std::min(s_.file_info, static_cast<int>(at(17))) > 0;
        for (unsigned c = 0; c < 32; ++c) {
            control_low_[c] = (static_cast<std::uint8_t>(at(7 + c / 8)) >> (7 - c % 8)) & 1;
            control_high_[c] = (static_cast<std::uint8_t>(at(11 + c / 8)) >> (7 - c % 8)) & 1;
        }
        high_ = true;
        stage_ = Stage::kRequest;
        Put(s_.request.empty() ? std::string("T") + (s_.command == Script::Command::kSend ? 'D' : 'U') + s_.type + s_.name
                               : s_.request,
            now);
        return;
    }
    case Stage::kRequest:
        if (s_.command == Script::Command::kSend && data.size() >= 2 && data[0] == 'T' && data[1] == 'r') {
            // The control holds part of the file: it tells how much.
            resume_offer = data;
            outstanding_ = false;
            differences.resume_offered_without_dr = s_.download_resume == 0;
            differences.resume_without_crc = data.size() >= 6 && data.substr(data.size() - 6) == " 65535";
            std::int64_t held = 0;
            for (std::size_t i = 2; i < data.size() && data[i] >= '0' && data[i] <= '9'; ++i)
                held = held * 10 + (data[i] - '0');
            stage_ = Stage::kSending;
            if (s_.refuse_resume) {
                sent_tf_ = true;
                pos_ = 0;
                Put("Tf", now);
            } else {
                resumed_from = held;
                pos_ = std::min<std::int64_t>(held, static_cast<std::int64_t>(s_.data.size()));
                NextData(now);
            }
            return;
        }
        if (s_.command == Script::Command::kFetch) {
            outstanding_ = false;  // its packets say our request arrived
            stage_ = Stage::kReceiving;
            Packet(data, now);
        }
        return;
    case Stage::kReceiving:
        if (data.size() >= 2 && data[0] == 'T' && data[1] == 'I') file_info = data;
        else if (type == 'N') received += data.substr(1);
        else if (data.size() >= 2 && data[0] == 'T' && data[1] == 'C') End(true);
        return;
    default: return;
    }
}

void Host::End(bool ok)
{
    stage_ = Stage::kDone;
    Finish(ok);
}

bool RunOnDescriptor(Protocol& p, int fd, Millis limit)
{
    using Steady = std::chrono::steady_clock;
    const auto t0 = Steady::now();
    auto now = [&] { return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - t0).count(); };
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string out;
    auto take = [&](Answer a) { out += a.send; };
    take(p.Start(now()));
    while (now() < limit) {
        while (!out.empty()) {
            const ssize_t n = ::write(fd, out.data(), out.size());
            if (n > 0) {
                out.erase(0, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd w{fd, POLLOUT, 0};
            ::poll(&w, 1, 100);
        }
        if (p.Finished()) {
            ::usleep(200000);  // let the last bytes leave the line
            return p.Succeeded();
        }
        Millis wait = 200;
        if (auto d = p.Deadline())
            wait = std::clamp<Millis>(*d - now(), 0, 200);
        pollfd r{fd, POLLIN, 0};
        if (::poll(&r, 1, static_cast<int>(wait)) > 0) {
            char b[4096];
            const ssize_t n = ::read(fd, b, sizeof b);
            if (n > 0)
                take(p.Feed(std::string_view(b, static_cast<std::size_t>(n)), now()));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return false;
        }
        if (auto d = p.Deadline(); d && now() >= *d)
            take(p.Tick(now()));
    }
    return false;
}

}  // namespace tolvex::transfer::bplus_host
