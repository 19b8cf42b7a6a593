#include "platform/ModalDepth.h"

namespace {
int depth = 0;
}

int ModalDepth::current()
{
    return depth;
}

ModalDepth::Scope::Scope()
{
    ++depth;
}

ModalDepth::Scope::~Scope()
{
    --depth;
}
