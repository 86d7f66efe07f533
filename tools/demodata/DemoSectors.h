// The "sectors" section of the demo set "demo.set", for the writer of that
// file to include: an L-shaped walk floor of two sectors (a south strip and a
// west wing around the inward corner (1.5, 1.5)), a funnel gate that narrows
// eastward from the south strip, and a camera sector over the far end of the
// west wing.
#pragma once

namespace demodata {

inline constexpr char kDemoSectors[] =
    "section: sectors\n"
    "\tnumsectors 4\n"
    "\n"
    "\tsector\t\tfloor_south\n"
    "\tid\t\t1\n"
    "\ttype\t\twalk\n"
    "\tdefault visibility\tvisible\n"
    "\theight\t\t0.00\n"
    "\tnumvertices\t4\n"
    "\tvertices:\t0.0\t0.0\t0.0\n"
    "\t\t\t4.0\t0.0\t0.0\n"
    "\t\t\t4.0\t1.5\t0.0\n"
    "\t\t\t0.0\t1.5\t0.0\n"
    "\n"
    "\tsector\t\tfloor_west\n"
    "\tid\t\t2\n"
    "\ttype\t\twalk\n"
    "\tdefault visibility\tvisible\n"
    "\theight\t\t0.00\n"
    "\tnumvertices\t4\n"
    "\tvertices:\t0.0\t1.5\t0.0\n"
    "\t\t\t1.5\t1.5\t0.0\n"
    "\t\t\t1.5\t4.0\t0.0\n"
    "\t\t\t0.0\t4.0\t0.0\n"
    "\n"
    "\tsector\t\tgate\n"
    "\tid\t\t3\n"
    "\ttype\t\tfunnel\n"
    "\tdefault visibility\tvisible\n"
    "\tnumvertices\t4\n"
    "\tvertices:\t4.0\t0.0\t0.0\n"
    "\t\t\t6.0\t0.5\t0.0\n"
    "\t\t\t6.0\t1.0\t0.0\n"
    "\t\t\t4.0\t1.5\t0.0\n"
    "\n"
    "\tsector\t\tporch_view\n"
    "\tid\t\t4\n"
    "\ttype\t\tcamera\n"
    "\tdefault visibility\tvisible\n"
    "\tnumvertices\t4\n"
    "\tvertices:\t0.0\t2.5\t0.0\n"
    "\t\t\t1.5\t2.5\t0.0\n"
    "\t\t\t1.5\t4.0\t0.0\n"
    "\t\t\t0.0\t4.0\t0.0\n"
    "\n";

}  // namespace demodata
