// The process's main routine: the framework runs the runtime's application
// object, whose instance initialisation calls the program's entry routine.
#include "runtime_state.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    st::RuntimeState& rt = st::Runtime();
    rt.entryRoutine = ProgramEntry;
    return st::FrameworkMain(rt);
}
