; The classroom server as an optional part of Kestrel's installer: the
; server and its page (www\) beside the program, started at every log-on
; from the common Startup folder (as the user who logs on, so that it reaches
; the shared folder and the drives that user has mapped), and a Windows
; Firewall rule that lets the tablets reach its port from a private network
; only. Not selected unless asked for; an installation that has it keeps it
; on the next installation. The uninstaller removes all of it.
;
; The main script needs two lines (and the components page, for a person
; who installs by hand):
;   !include "server.nsh"                 after its main Section, before "Section Uninstall"
;   !insertmacro KestrelServerOptions     at the end of .onInit (after SetRegView 64 and
;                                         SetShellVarContext all)
; makensis is given SERVER_STAGE, a folder with kestrel-server.exe and www\;
; without it both lines leave the installer as it was.
;
;   Kestrel-Setup.exe /S /SERVER=1 ...    with the server (/SERVER alone too)
;   Kestrel-Setup.exe /S /SERVER=0 ...    without it, removing an earlier one

!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!ifndef SETTINGSKEY
  !define SETTINGSKEY "Software\Kestrel"
!endif
!ifndef KESTREL_SERVER_PORT
  !define KESTREL_SERVER_PORT 8080 ; the server's port when none is given
!endif
!define KESTREL_SERVER_NAME "Kestrel 教室サーバー"
!define KESTREL_SERVER_EXE "kestrel-server.exe"
!define KESTREL_SERVER_RULE 'name="${KESTREL_SERVER_NAME}"'

!ifdef SERVER_STAGE

; A server still running holds its program file (a later installation
; replaces it, an uninstallation removes it). A run in progress on a tablet
; is lost, as when the PC is shut down; no record is torn, as the log's
; protocol writes a record whole.
!macro KestrelServerStop
  nsExec::ExecToLog 'taskkill /F /IM ${KESTREL_SERVER_EXE}'
  Pop $0
!macroend

!macro KestrelServerRemove
  !insertmacro KestrelServerStop
  Delete "$SMSTARTUP\${KESTREL_SERVER_NAME}.lnk"
  Delete "$SMPROGRAMS\Kestrel\${KESTREL_SERVER_NAME}.lnk"
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule ${KESTREL_SERVER_RULE}'
  Pop $0
  Delete "$INSTDIR\Kestrel\${KESTREL_SERVER_EXE}"
  RMDir /r "$INSTDIR\Kestrel\www"
  DeleteRegValue HKLM "${SETTINGSKEY}" "Server"
!macroend

Section /o "教室サーバー（タブレットのブラウザーで使うとき）" SecServer
  !insertmacro KestrelServerStop
  SetOutPath "$INSTDIR\Kestrel"
  File /r "${SERVER_STAGE}/*"
  ; started minimised at every log-on; by hand from the Start menu, where its
  ; window shows the address and the QR code for the projector
  ; (the port given, so that it is the firewall rule's)
  CreateShortCut "$SMSTARTUP\${KESTREL_SERVER_NAME}.lnk" "$INSTDIR\Kestrel\${KESTREL_SERVER_EXE}" \
    "--port ${KESTREL_SERVER_PORT}" "" 0 SW_SHOWMINIMIZED
  CreateDirectory "$SMPROGRAMS\Kestrel"
  CreateShortCut "$SMPROGRAMS\Kestrel\${KESTREL_SERVER_NAME}.lnk" "$INSTDIR\Kestrel\${KESTREL_SERVER_EXE}" \
    "--port ${KESTREL_SERVER_PORT}"
  ; the tablets reach the port from a private network only; a rule of an
  ; earlier installation is replaced, never doubled
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule ${KESTREL_SERVER_RULE}'
  Pop $0
  nsExec::ExecToLog 'netsh advfirewall firewall add rule ${KESTREL_SERVER_RULE} dir=in action=allow protocol=TCP localport=${KESTREL_SERVER_PORT} profile=private,domain'
  Pop $0
  ${If} $0 != 0
    DetailPrint "ファイアウォールの規則を作れませんでした（$0）。ポート ${KESTREL_SERVER_PORT} を、プライベート ネットワークに開いてください。"
  ${EndIf}
  WriteRegDWORD HKLM "${SETTINGSKEY}" "Server" 1
  DetailPrint "${KESTREL_SERVER_NAME}: 次のログオンから動きます。"
SectionEnd

; An earlier installation's server that is not wanted any more goes.
Section "-KestrelServerOff"
  ${IfNot} ${SectionIsSelected} ${SecServer}
    ClearErrors
    ReadRegDWORD $0 HKLM "${SETTINGSKEY}" "Server"
    ${IfNot} ${Errors}
      !insertmacro KestrelServerRemove
    ${EndIf}
  ${EndIf}
SectionEnd

!macro KestrelServerOptions
  ClearErrors
  ReadRegDWORD $R1 HKLM "${SETTINGSKEY}" "Server"
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecServer}
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SERVER" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "=0"
      !insertmacro UnselectSection ${SecServer}
    ${Else}
      !insertmacro SelectSection ${SecServer}
    ${EndIf}
  ${EndIf}
!macroend

; Runs before the main uninstall section, which removes the folders.
Section "-un.KestrelServer"
  !insertmacro KestrelServerRemove
SectionEnd

!else

!macro KestrelServerOptions
!macroend

!endif
