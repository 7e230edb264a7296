#include "platform/standin/store/store.h"

namespace standin {

namespace {

std::unique_ptr<Store>& Current() {
    static std::unique_ptr<Store> store;
    return store;
}

}  // namespace

Store* CurrentStore() {
    return Current().get();
}

void UseStore(std::unique_ptr<Store> store) {
    Current() = std::move(store);
}

std::shared_ptr<Node> StoreRoot(HKEY root) {
    Store* store = CurrentStore();
    return store ? store->Root(root) : nullptr;
}

}  // namespace standin
