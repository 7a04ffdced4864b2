// Does the compiler build and link 32-bit C++ programs?
#include <string>

int main() { return static_cast<int>(std::string("m32").size()) - 3; }
