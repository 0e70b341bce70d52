#include <cstdio>

int main()
{
    std::fputs("tarvel-cli: not built yet\n", stderr);
    return 2;
}
