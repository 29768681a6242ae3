#pragma once

#include <cstdint>
#include <expected>
#include <string_view>

namespace tarnvex {

// The one vocabulary of failures. A name is what the player sees, so it is printed exactly as
// written here.
#define TARNVEX_ERRORS(X)                                                                          \
    X(AccessDenied)                                                                                \
    X(AppDataDirUnavailable)                                                                       \
    X(CatalogueTooLarge)                                                                           \
    X(ClientTooLarge)                                                                              \
    X(ConnectionRefused)                                                                           \
    X(ConnectionResetByPeer)                                                                       \
    X(ConnectionTimedOut)                                                                          \
    X(Deadlock)                                                                                    \
    X(DecompressionFailed)                                                                         \
    X(DeviceBusy)                                                                                  \
    X(DirNotEmpty)                                                                                 \
    X(DiskQuota)                                                                                   \
    X(DuplicateField)                                                                              \
    X(EndOfStream)                                                                                 \
    X(Failure)                                                                                     \
    X(FileBusy)                                                                                    \
    X(FileLocksUnavailable)                                                                        \
    X(FileNotFound)                                                                                \
    X(FileTooBig)                                                                                  \
    X(HttpClientError)                                                                             \
    X(HttpHeadersInvalid)                                                                          \
    X(IconFolderUnavailable)                                                                       \
    X(IncompleteDownload)                                                                          \
    X(InputOutput)                                                                                 \
    X(InsecureRedirect)                                                                            \
    X(InstanceFolderUnavailable)                                                                   \
    X(InvalidCharacter)                                                                            \
    X(InvalidFormat)                                                                               \
    X(InvalidInstanceName)                                                                         \
    X(InvalidModLoader)                                                                            \
    X(IsDir)                                                                                       \
    X(LinkQuotaExceeded)                                                                           \
    X(MissingField)                                                                                \
    X(NameTooLong)                                                                                 \
    X(NetworkError)                                                                                \
    X(NoDeviceOrAddress)                                                                           \
    X(NoSpaceLeft)                                                                                 \
    X(NotDir)                                                                                      \
    X(OperationNotSupported)                                                                       \
    X(OutOfMemory)                                                                                 \
    X(Overflow)                                                                                    \
    X(PathAlreadyExists)                                                                           \
    X(PermissionDenied)                                                                            \
    X(ProcessFdQuotaExceeded)                                                                      \
    X(ReadFailed)                                                                                  \
    X(ReadOnlyFileSystem)                                                                          \
    X(RenameAcrossMountPoints)                                                                     \
    X(ServerAddressTooLong)                                                                        \
    X(StaleFileHandle)                                                                             \
    X(SymLinkLoop)                                                                                 \
    X(SyntaxError)                                                                                 \
    X(SystemResources)                                                                             \
    X(TimedOut)                                                                                    \
    X(TlsCertificateNotTrusted)                                                                    \
    X(TlsFailure)                                                                                  \
    X(TooManyHttpRedirects)                                                                        \
    X(TooManyServerInstances)                                                                      \
    X(Unexpected)                                                                                  \
    X(UnexpectedCharacter)                                                                         \
    X(UnexpectedEndOfInput)                                                                        \
    X(UnexpectedToken)                                                                             \
    X(UnknownField)                                                                                \
    X(UnknownHostName)                                                                             \
    X(UnsupportedCompressionMethod)                                                                \
    X(WriteFailed)

enum class Error : std::uint8_t {
#define TARNVEX_ERROR_ENUMERATOR(name) name,
    TARNVEX_ERRORS(TARNVEX_ERROR_ENUMERATOR)
#undef TARNVEX_ERROR_ENUMERATOR
};

/// The printed name of an error, exactly as spelled in the vocabulary.
std::string_view errorName(Error error);

template <class T = void> using Result = std::expected<T, Error>;

} // namespace tarnvex
