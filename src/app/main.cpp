// Pagiste 4: asks one person eleven questions and writes their web page.
#include "app/run.hpp"

int main() { return pagiste::RunSequence(); }
