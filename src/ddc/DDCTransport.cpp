// SPDX-License-Identifier: MIT
#include "ddc/DDCTransport.h"

#include "ddc/DDCRetry.h"

namespace orvane::ddc {

const std::string& rawValue(DDCTransportType type) {
    static const std::string i2c = "I2C", av = "AVService", none = "None";
    switch (type) {
        case DDCTransportType::i2c:
            return i2c;
        case DDCTransportType::avService:
            return av;
        case DDCTransportType::none:
            return none;
    }
    return none;
}

DDCTransport::DDCTransport(runtime::Executor& main, runtime::Logger& log,
                           std::shared_ptr<runtime::SerialQueue> ioQueue, std::string logPrefix,
                           std::string operationPrefix, std::function<DDCError(DisplayID)> gone)
    : main_(main),
      log_(log),
      ioQueue_(std::move(ioQueue)),
      logPrefix_(std::move(logPrefix)),
      operationPrefix_(std::move(operationPrefix)),
      gone_(std::move(gone)) {}

runtime::Task<VCPValue> DDCTransport::readVCP(DisplayID display, VCPCode code) {
    std::weak_ptr<DDCTransport> weak = weak_from_this();
    return runWithRetries<VCPValue>(ioQueue_, main_, log_, logPrefix_,
                                    operationPrefix_ + "readVCP(" + displayName(code) + ")",
                                    [weak, gone = gone_, display, code] {
                                        auto self = weak.lock();
                                        if (!self) throw gone(display);
                                        return self->performRead(display, code);
                                    });
}

runtime::Task<void> DDCTransport::writeVCP(DisplayID display, VCPCode code, std::uint16_t value,
                                           std::function<bool()> stillWanted) {
    std::weak_ptr<DDCTransport> weak = weak_from_this();
    return runWithRetries<void>(
        ioQueue_, main_, log_, logPrefix_,
        operationPrefix_ + "writeVCP(" + displayName(code) + "=" + std::to_string(value) + ")",
        [weak, gone = gone_, display, code, value] {
            auto self = weak.lock();
            if (!self) throw gone(display);
            self->performWrite(display, code, value);
        },
        std::move(stillWanted));
}

}  // namespace orvane::ddc
