// A test's own ports while this lives: every port a channel opens comes from the factory
// given, and the factory before it comes back afterwards. Declared before the objects that
// use the line, it outlives them, so that nothing opens a port of the next test's.
#pragma once

#include <utility>

#include "external/serial_comms.h"

namespace gc6890::test {

class SerialBackendScope {
public:
    explicit SerialBackendScope(SerialBackendFactory factory)
        : m_previous(SetSerialBackendFactory(std::move(factory)))
    {}
    ~SerialBackendScope() { SetSerialBackendFactory(m_previous); }
    SerialBackendScope(const SerialBackendScope&) = delete;
    SerialBackendScope& operator=(const SerialBackendScope&) = delete;

private:
    SerialBackendFactory m_previous;
};

}  // namespace gc6890::test
