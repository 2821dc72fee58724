#include "app/ProtocolHolder.h"

#include "comm/Unitcomprotocol.h"

void ComProtocolDeleter::operator()(ComProtocol* protocol) const {
    delete protocol;
}

ComProtocolPtr MakeComProtocol() {
    return ComProtocolPtr(new ComProtocol());
}
