#pragma once
#include <QList>
#include <QString>

#include "platform/Prompts.h"

namespace kr {

// Serial ports are known to the user by number (1 means the first port).
// How a number becomes a device:
//   - the environment variable KR_PORT_<N>, when set, names the device of port N;
//   - on Windows port N is COM<N>;
//   - elsewhere a fixed table: 1-4 /dev/ttyS0-3 (built-in ports), 5-12
//     /dev/ttyUSB0-7 (USB adapters), 13-20 /dev/ttyACM0-7, 21-50 /dev/ttyS4-33.
namespace PortMap {

constexpr int FirstPort = 1;
constexpr int LastPort = 50;

// The device of a port number; empty outside 1..50 unless the environment names one.
QString deviceFor(int number);

// Whether the environment overrides the device of this port.
bool isOverridden(int number);

// The user's name for a port: "COM<N>".
QString displayName(int number);

// "COM<N> (device)", the way a port is shown beside its device.
QString describe(int number);

// Whether the port's device exists (a port in use by another program counts).
bool exists(int number);

// The ports 1..50 that exist, in number order, each with its device and what
// the system says of it.
QList<PortChoice> existingPorts();

// What the system says of a port in one line: "FT232R USB UART, FTDI, serial
// A10K5S3B, USB 0403:6001"; empty when it says nothing.
QString details(const PortChoice& port);

} // namespace PortMap

} // namespace kr
