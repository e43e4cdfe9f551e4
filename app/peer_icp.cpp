#include "app/peer_icp.h"

#include "geometry/module_loader.h"

const PeerIcp* peer_icp(std::string* why) {
  using Entry = const PeerIcp* (*)();
  void* address = module_symbol("icp_open3d.so", "ICP_OPEN3D_MODULE", "icp_open3d_peer_icp", why);
  if (!address) return nullptr;
  const PeerIcp* table = reinterpret_cast<Entry>(address)();
  if (!table || table->version != kPeerIcpVersion) {
    if (why) *why = "module icp_open3d.so is of another version than this program";
    return nullptr;
  }
  return table;
}
