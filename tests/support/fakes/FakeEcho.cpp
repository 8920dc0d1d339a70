#include "tests/support/fakes/FakeEcho.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <random>
#include <thread>

namespace kestrion::test {

namespace {
class Channel final : public platform::EchoChannel {
public:
    explicit Channel(FakeEcho& echo) : echo_(echo) { ++echo_.openHandles; }
    ~Channel() override {
        --echo_.openHandles;
        if (sent_ && echo_.onClosed)
            echo_.onClosed(destination_);
    }
    platform::EchoReply send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs) override {
        if (echo_.waitMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(echo_.waitMs));
        sent_ = true;
        destination_ = destination;
        echo_.sent.push_back({destination, data, timeoutMs});
        auto it = echo_.script.find(destination);
        if (it == echo_.script.end())
            return {0, platform::echo_status::TimedOut, 0, 0};
        return it->second;
    }

private:
    FakeEcho& echo_;
    bool sent_ = false;
    uint32_t destination_ = 0;
};
class Batch final : public platform::EchoBatch {
public:
    explicit Batch(FakeEcho& echo) : echo_(echo), random_(echo.seed) { ++echo_.openBatches; }
    ~Batch() override {
        --echo_.openBatches;
        echo_.outstandingAtClose = waiting_.size();
    }

    std::optional<platform::EchoReply> send(uint32_t destination, const std::vector<uint8_t>& data,
                                            int timeoutMs, uint32_t tag) override {
        echo_.sent.push_back({destination, data, timeoutMs});
        waiting_.push_back({tag, destination, Clock::now() + echo_.batchDelay});
        echo_.mostOutstanding = std::max(echo_.mostOutstanding, waiting_.size());
        return std::nullopt;
    }

    std::vector<Answer> receive(Clock::time_point until) override {
        std::vector<Answer> answers;
        std::vector<size_t> ready = readyNow();
        if (ready.empty() && !waiting_.empty()) {
            Clock::time_point first = waiting_.front().readyAt;
            for (const Request& request : waiting_)
                first = std::min(first, request.readyAt);
            std::this_thread::sleep_until(std::min(until, first));
            ready = readyNow();
        }
        if (ready.empty())
            return answers;
        // One answer, drawn at random from those due.
        const size_t pick = ready[std::uniform_int_distribution<size_t>(0, ready.size() - 1)(random_)];
        const auto scripted = echo_.script.find(waiting_[pick].destination);
        answers.push_back(
            {waiting_[pick].tag, scripted == echo_.script.end()
                                     ? platform::EchoReply{0, platform::echo_status::TimedOut, 0, 0}
                                     : scripted->second});
        waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(pick));
        return answers;
    }

    size_t outstanding() const override { return waiting_.size(); }

private:
    struct Request {
        uint32_t tag;
        uint32_t destination;
        Clock::time_point readyAt;
    };

    std::vector<size_t> readyNow() const {
        std::vector<size_t> ready;
        const Clock::time_point now = Clock::now();
        for (size_t i = 0; i < waiting_.size(); ++i)
            if (waiting_[i].readyAt <= now)
                ready.push_back(i);
        return ready;
    }

    FakeEcho& echo_;
    std::mt19937 random_;
    std::vector<Request> waiting_;
};
} // namespace

uint32_t FakeEcho::value(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

void FakeEcho::answer(const char* dotted, uint32_t roundTripMs) {
    script[value(dotted)] = {value(dotted), platform::echo_status::Success, roundTripMs, 1};
}

void FakeEcho::fail(const char* dotted, uint32_t status, uint32_t replies, uint32_t source) {
    script[value(dotted)] = {source, status, 0, replies};
}

void FakeEcho::answerFrom(const char* dotted, const char* source, uint32_t status) {
    script[value(dotted)] = {value(source), status, 0, 1};
}

platform::EchoOpenResult FakeEcho::open() {
    if (!refusal.empty())
        return {nullptr, refusal};
    ++opened;
    return {std::make_unique<Channel>(*this), {}};
}

platform::EchoBatchOpenResult FakeEcho::openBatch() {
    if (!refusal.empty() || batchRefused)
        return {nullptr, refusal.empty() ? "no batch handle" : refusal};
    ++opened;
    return {std::make_unique<Batch>(*this), {}};
}

} // namespace kestrion::test
