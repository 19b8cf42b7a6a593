#pragma once

// The entry point. At most one copy runs per user: a second launch brings the
// running copy to the front (handing it any "ovrin:" links) and ends. The
// exit status is 0 on every path.
namespace OvrinApp {

int main(int argc, char* argv[]);

} // namespace OvrinApp
