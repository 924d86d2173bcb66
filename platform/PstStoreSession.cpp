#include "platform/PstStoreSession.h"

namespace tarvelle::platform {

namespace {
// Placeholder until the writer is wired in: every session creation fails loudly.
class UnavailableFactory : public StoreSessionFactory {
public:
    std::unique_ptr<StoreSession> CreateSession() override {
        throw StoreError("the PST writer is not available in this build");
    }
};
}  // namespace

std::unique_ptr<StoreSessionFactory> MakePstSessionFactory() {
    return std::make_unique<UnavailableFactory>();
}

}  // namespace tarvelle::platform
