#include "platform/standin/win32/process_state.h"

#include "platform/standin/win32/handle_table.h"

namespace standin {

ProcessState& TheProcess() {
    static ProcessState process;
    return process;
}

HandleTable& TheHandles() {
    static HandleTable table;
    return table;
}

}  // namespace standin
