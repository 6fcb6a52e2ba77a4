#include <cstdio>

int main()
{
    std::fputs("tarvel: the program arrives with the start-up work; see README.md\n", stderr);
    return 0;
}
