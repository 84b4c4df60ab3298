// A DLL that stands for one an attacker leaves beside a downloaded exe.
extern "C" __declspec(dllexport) int Planted() { return 1; }
