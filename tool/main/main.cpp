#include <cstdio>

int main(int argc, char** argv)
{
    (void)argv;
    std::printf("VelmarUtil: %d argument(s)\n", argc - 1);
    return argc > 1 ? 0 : 255;
}
