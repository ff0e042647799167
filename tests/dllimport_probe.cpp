// Calls a delay-loaded system function through its __imp_ slot, declared dllimport the way
// mingw's headers declare it unless told otherwise (cmake/delay_load.cmake). The 32-bit linker then
// drops the stub and leaves the slot 0: the import check must say so (load_time_imports_finds_0).
extern "C" __declspec(dllimport) int __stdcall MessageBeep(unsigned uType);

int main() {
    return MessageBeep(0) ? 0 : 1;
}
