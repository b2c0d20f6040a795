// Entry point of the layer link checks (src/CMakeLists.txt): the program does
// nothing; linking it proves a layer needs nothing from the layers above it.
int main() { return 0; }
