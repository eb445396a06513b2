#include "transfer/worker.h"

namespace tolvex::transfer {

TransferWorker::TransferWorker(std::unique_ptr<Protocol> protocol, std::unique_ptr<TransferChannel> channel,
                               Pump::Post post, Ended ended, std::unique_ptr<Clock> clock)
    : protocol_(std::move(protocol)),
      channel_(std::move(channel)),
      clock_(clock ? std::move(clock) : std::make_unique<SteadyClock>()),
      pump_(std::make_unique<Pump>(*protocol_, *channel_, *clock_, std::move(post)))
{
    thread_ = std::thread([this, ended = std::move(ended)] {
        const PumpResult r = pump_->Run();
        running_.store(false);
        if (ended)
            ended(r);
    });
}

TransferWorker::~TransferWorker() { Stop(); }

void TransferWorker::Stop()
{
    if (thread_.joinable()) {
        pump_->Stop();
        thread_.join();
    }
}

}  // namespace tolvex::transfer
