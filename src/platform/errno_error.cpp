#include "platform/errno_error.h"

#include <cerrno>

namespace tarnvex {

Error errorFromErrno(int errnoValue) {
    switch (errnoValue) {
    case ENOENT:
        return Error::FileNotFound;
    case EACCES:
        return Error::AccessDenied;
    case EPERM:
        return Error::PermissionDenied;
    case ENOTDIR:
        return Error::NotDir;
    case EISDIR:
        return Error::IsDir;
    case ELOOP:
        return Error::SymLinkLoop;
    case ENAMETOOLONG:
        return Error::NameTooLong;
    case ENOSPC:
        return Error::NoSpaceLeft;
    case EROFS:
        return Error::ReadOnlyFileSystem;
    case ENOMEM:
    case ENFILE:
        return Error::SystemResources;
    case EMFILE:
        return Error::ProcessFdQuotaExceeded;
    case EEXIST:
        return Error::PathAlreadyExists;
    case EIO:
        return Error::InputOutput;
    case EDQUOT:
        return Error::DiskQuota;
    case EFBIG:
        return Error::FileTooBig;
    case EXDEV:
        return Error::RenameAcrossMountPoints;
    case EBUSY:
        return Error::DeviceBusy;
    case ETXTBSY:
        return Error::FileBusy;
    case EMLINK:
        return Error::LinkQuotaExceeded;
    case ENOTEMPTY:
        return Error::DirNotEmpty;
    case ENOLCK:
        return Error::FileLocksUnavailable;
    case ETIMEDOUT:
        return Error::TimedOut;
    case ESTALE:
        return Error::StaleFileHandle;
    case ENOTSUP:
// One value on Linux, two on macOS.
#if EOPNOTSUPP != ENOTSUP
    case EOPNOTSUPP:
#endif
        return Error::OperationNotSupported;
    case EDEADLK:
        return Error::Deadlock;
    case ENXIO:
        return Error::NoDeviceOrAddress;
    default:
        return Error::Unexpected;
    }
}

} // namespace tarnvex
