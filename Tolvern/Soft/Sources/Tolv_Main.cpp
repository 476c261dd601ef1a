#include <cstdio>

int main()
{
    std::puts("Tolvern version: 1.8");
    return 0;
}
