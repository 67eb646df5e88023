; Kestrel's installer for 64-bit Windows, for all users of a PC.
;
;   Kestrel-Setup-<version>.exe                          asks for both folders
;   Kestrel-Setup-<version>.exe /S /SHARED=\\server\share\kestrel\ [/D=C:\Kestrel]
;   Kestrel-Setup-<version>.exe /S /SERVER ...           with the classroom server
;
; Below the installation folder (Program Files\Kestrel):
;   パスデータ.txt   the shared folder and nine further items (CP932, CR LF)
;   Kestrel\         the program, its tools, the Qt and MinGW DLLs and plug-ins
;   起動\            the program menu
;   uninstall.exe
; Without /SHARED= an installation keeps the path file as it is, or, when
; there is none, names the shared folder of an earlier installation that was
; uninstalled (the registry's Software\Kestrel\SharedFolder, which the
; uninstaller keeps); only the first installation of a PC points it at a
; sample school of its own in ProgramData\Kestrel\共有データ\. The
; uninstaller removes the files it installed and never touches a shared
; folder. A running kestrel.exe of the installation is asked to close
; before its files are replaced (CloseRunningPrograms).
;
; Made by scripts/windows.sh: makensis -INPUTCHARSET UTF8 with VERSION,
; STAGE (Kestrel\ and 起動\), SAMPLE (共有データ\), FILELIST (the uninstaller's
; deletes) and OUTFILE defined; SERVER_STAGE when the server is built.

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh
!include WordFunc.nsh

!define TITLE "四捨五入と概数のドリル"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel"
!define SETTINGSKEY "Software\Kestrel"
!define PATHFILE "パスデータ.txt"
!define SAMPLEDIR "$APPDATA\Kestrel\共有データ\"
!define CLOSEWAIT 30   ; seconds a running program is given to close

Name "Kestrel ${TITLE}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Kestrel"
InstallDirRegKey HKLM "${SETTINGSKEY}" "InstallDir"
BrandingText "Kestrel ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

Var SharedFolder   ; the shared folder the path file will name
Var SharedGiven    ; 1 when /SHARED= or the page named it
Var OldShared      ; what the path file names now ("" without one)
Var Remembered     ; the shared folder of an earlier installation ("" without one)
Var SharedField

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom SharedPage SharedPageLeave
!ifdef SERVER_STAGE
  !insertmacro MUI_PAGE_COMPONENTS
!endif
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "Kestrel"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "Kestrel ${TITLE} のインストーラー"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "Kestrel developers"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Kestrel developers"

; ---------------------------------------------------------------------------
; The shared folder's text: an absolute folder (X:\… or \\server\share\…)
; that CP932 can hold, ending with "\", a mapped drive written as its share
; (SharedDriveToUnc). Push the text; pops the folder, or "" with the reason
; in $R9.
Function NormaliseShared
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $R9 ""
  ; blanks around it are not part of an item
  ${Do}
    StrCpy $1 $0 1
    ${If} $1 == " "
      StrCpy $0 $0 "" 1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 == " "
      StrCpy $0 $0 -1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  StrLen $2 $0
  StrCpy $1 $0 2
  ${If} $0 == ""
    StrCpy $R9 "共有フォルダを書いてください。"
  ${ElseIf} $1 == "\\"
    ; \\server\share: a server name, a "\" and a share name at least
    StrCpy $3 3
    ${Do}
      ${If} $3 >= $2
        StrCpy $R9 "「$0」には共有名がありません。\\サーバー名\共有名\フォルダ\ のように書いてください。"
        ${Break}
      ${EndIf}
      StrCpy $1 $0 1 $3
      ${If} $1 == "\"
        IntOp $3 $3 + 1
        ${If} $3 >= $2
          StrCpy $R9 "「$0」には共有名がありません。\\サーバー名\共有名\フォルダ\ のように書いてください。"
        ${EndIf}
        ${Break}
      ${EndIf}
      IntOp $3 $3 + 1
    ${Loop}
  ${Else}
    StrCpy $1 $0 2 1
    ${If} $1 != ":\"
      StrCpy $R9 "「$0」は C:\共有データ\ や \\サーバー名\共有名\ のような、ドライブ名かサーバー名から始まるフォルダではありません。"
    ${EndIf}
  ${EndIf}
  ${If} $R9 == ""
    ${WordFind} $0 '"' "E#" $1
    ${IfNot} ${Errors}
      StrCpy $R9 '「$0」には " を使えません。'
    ${EndIf}
  ${EndIf}
  ${If} $R9 == ""
    ; the path file is CP932: refuse what it cannot hold, as the program would
    System::Call 'kernel32::WideCharToMultiByte(i 932, i 0x400, w r0, i -1, p 0, i 0, p 0, *i .r1) i .r2'
    ${If} $1 != 0
    ${OrIf} $2 == 0
      StrCpy $R9 "「$0」には、シフトJIS（CP932）で書けない文字があります。"
    ${EndIf}
  ${EndIf}
  ${If} $R9 == ""
    Call SharedDriveToUnc
  ${EndIf}
  ${If} $R9 == ""
    StrCpy $1 $0 1 -1
    ${If} $1 != "\"
      StrCpy $0 "$0\"
    ${EndIf}
  ${Else}
    StrCpy $0 ""
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
; A folder on a drive letter mapped to a share, in $0, as the share's UNC
; name (\\server\share\…): a mapping belongs to one user, and the
; children's accounts, or this installer running as administrator, may not
; have it. A letter that is no drive here, or a network drive whose share
; is not known, is refused with the reason in $R9.
Function SharedDriveToUnc
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $1 $0 1 1
  ${If} $1 == ":"
    StrCpy $1 $0 2
    System::Call 'kernel32::GetDriveTypeW(w "$1\") i .r2'
    ${If} $2 == 1   ; DRIVE_NO_ROOT_DIR
      StrCpy $R9 "ドライブ $1 は、このパソコン（このインストーラーを動かしているユーザー）にはありません。ネットワークドライブの割り当てはユーザーごとなので、ほかのユーザーからは見えません。共有フォルダは \\サーバー名\共有名\フォルダ\ のように書いてください。"
    ${ElseIf} $2 == 4   ; DRIVE_REMOTE
      StrCpy $4 ${NSIS_MAX_STRLEN}
      System::Call 'mpr::WNetGetConnectionW(w r1, w .r3, *i r4) i .r2'
      StrCpy $4 $3 2
      ${If} $2 == 0
      ${AndIf} $4 == "\\"
        StrCpy $4 $0 "" 2
        StrCpy $0 "$3$4"
        DetailPrint "共有フォルダ: ネットワークドライブ $1 を $3 として書きます。"
      ${Else}
        StrCpy $R9 "ドライブ $1 はネットワークドライブですが、つながる先の共有が分かりません。ネットワークドライブの割り当てはユーザーごとなので、共有フォルダは \\サーバー名\共有名\フォルダ\ のように書いてください。"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

!macro NormaliseShared In Out
  Push "${In}"
  Call NormaliseShared
  Pop ${Out}
!macroend

; The first item of the path file in the installation folder, read as the
; program reads it (CP932, an item ends at a comma or the line's end, blanks
; around it dropped, quotes kept together); "" without a path file. → $OldShared
Function ReadPathFile
  StrCpy $OldShared ""
  ClearErrors
  FileOpen $0 "$INSTDIR\${PATHFILE}" r
  ${If} ${Errors}
    Return
  ${EndIf}
  System::Alloc 4100
  Pop $1
  System::Call 'kernel32::ReadFile(p r0, p r1, i 4096, *i .r2, p 0)'
  FileClose $0
  System::Call 'kernel32::MultiByteToWideChar(i 932, i 0, p r1, i -1, w .r3, i ${NSIS_MAX_STRLEN}) i .r2'
  System::Free $1
  StrCpy $4 0   ; position
  StrCpy $5 0   ; inside quotes
  StrCpy $6 ""  ; the item
  ${Do}
    StrCpy $7 $3 1 $4
    ${If} $7 == ""
    ${OrIf} $7 == "$\r"
    ${OrIf} $7 == "$\n"
      ${Break}
    ${ElseIf} $7 == '"'
      IntOp $5 1 - $5
    ${ElseIf} $7 == ","
    ${AndIf} $5 == 0
      ${Break}
    ${Else}
      StrCpy $6 "$6$7"
    ${EndIf}
    IntOp $4 $4 + 1
  ${Loop}
  ${Do}
    StrCpy $7 $6 1
    ${If} $7 == " "
      StrCpy $6 $6 "" 1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  ${Do}
    StrCpy $7 $6 1 -1
    ${If} $7 == " "
      StrCpy $6 $6 -1
    ${Else}
      ${Break}
    ${EndIf}
  ${Loop}
  StrCpy $OldShared $6
FunctionEnd

; Writes text in CP932 to an open file. $0 = the file, $1 = the text.
Function WriteCp932
  System::Call 'kernel32::WideCharToMultiByte(i 932, i 0, w r1, i -1, p 0, i 0, p 0, p 0) i .r2'
  System::Alloc $2
  Pop $3
  System::Call 'kernel32::WideCharToMultiByte(i 932, i 0, w r1, i -1, p r3, i r2, p 0, p 0) i .r2'
  IntOp $2 $2 - 1
  System::Call 'kernel32::WriteFile(p r0, p r3, i r2, *i .r4, p 0)'
  System::Free $3
FunctionEnd

; Points the path file at $SharedFolder: the first line anew, the lines
; after it as they were (the other programs of the family may use them),
; or nine zeros in a new file. Written beside it, then put in its place.
Function WritePathFile
  StrCpy $8 "$INSTDIR\${PATHFILE}"
  ClearErrors
  FileOpen $0 "$8.new" w
  ${If} ${Errors}
    Abort "$8 を書けません。"
  ${EndIf}
  StrCpy $1 $SharedFolder
  ${WordFind} $1 "," "E#" $2
  ${IfNot} ${Errors}
    StrCpy $1 '"$1"'
  ${EndIf}
  StrCpy $1 "$1$\r$\n"
  Call WriteCp932
  StrCpy $5 0   ; bytes kept
  ClearErrors
  FileOpen $6 $8 r
  ${IfNot} ${Errors}
    ${Do}
      FileReadByte $6 $7
      ${If} ${Errors}
      ${OrIf} $7 == 10
        ${Break}
      ${EndIf}
    ${Loop}
    ClearErrors
    ${Do}
      FileReadByte $6 $7
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      FileWriteByte $0 $7
      IntOp $5 $5 + 1
    ${Loop}
    FileClose $6
  ${EndIf}
  ${If} $5 == 0
    ${For} $7 2 10
      FileWriteByte $0 48   ; "0"
      FileWriteByte $0 13
      FileWriteByte $0 10
    ${Next}
  ${EndIf}
  FileClose $0
  Delete $8
  Rename "$8.new" $8
  DetailPrint "${PATHFILE}: $SharedFolder"
FunctionEnd

; ---------------------------------------------------------------------------
; The programs of the installation that may be running: Windows keeps a
; running program's file from being replaced, and a half-replaced folder
; would not start. Each is asked to close (as its window's close button
; would), and the installer waits for it, saying so; one still running
; after ${CLOSEWAIT} s leaves everything as it was: a box offers to try
; again, a silent installation exits with 3.
!macro DefineCloseRunning un
Function ${un}FileInUse   ; $0 = the file; $1 = 1 when a running program holds it
  StrCpy $1 0
  ${If} ${FileExists} $0
    System::Call 'kernel32::CreateFileW(w r0, i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) p .r2 ?e'
    Pop $3
    ${If} $2 = -1
      ${If} $3 = 32   ; ERROR_SHARING_VIOLATION
        StrCpy $1 1
      ${EndIf}
    ${Else}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
  ${EndIf}
FunctionEnd

Function ${un}CloseRunningPrograms
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $4 0   ; seconds waited
  ${Do}
    StrCpy $0 "$INSTDIR\Kestrel\kestrel.exe"
    Call ${un}FileInUse
    ${If} $1 == 0
      StrCpy $0 "$INSTDIR\起動\プログラムメニューc.exe"
      Call ${un}FileInUse
    ${EndIf}
    ${If} $1 == 0
      ${Break}
    ${EndIf}
    ${If} $4 == 0
      DetailPrint "Kestrel が動いています。閉じるように伝えて、終わるまで待ちます（${CLOSEWAIT} 秒まで）。"
      nsExec::ExecToLog 'taskkill /IM kestrel.exe'
      Pop $2
      nsExec::ExecToLog 'taskkill /IM プログラムメニューc.exe'
      Pop $2
    ${EndIf}
    ${If} $4 >= ${CLOSEWAIT}
      DetailPrint "Kestrel が ${CLOSEWAIT} 秒たっても終わりません。何も変えていません。"
      MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "Kestrel（$0）が動いています。子どもの記録が終わってからプログラムを閉じて、「再試行」を押してください。$\r$\n「キャンセル」を押すと、何も変えずに終わります。" /SD IDCANCEL IDRETRY +3
      SetErrorLevel 3
      Quit
      StrCpy $4 0
      ${Continue}
    ${EndIf}
    Sleep 1000
    IntOp $4 $4 + 1
  ${Loop}
  ${If} $4 > 0
    DetailPrint "Kestrel は終わりました（$4 秒）。"
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DefineCloseRunning ""
!insertmacro DefineCloseRunning "un."

; ---------------------------------------------------------------------------
Function SharedPage
  ${If} $SharedFolder == ""
    StrCpy $SharedFolder "${SAMPLEDIR}"
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "共有フォルダ" "教室のすべてのパソコンが使う共有フォルダを選んでください。"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 60u "名簿、学校の設定、音、成績の記録を入れる共有フォルダです。学校のサーバーなら \\サーバー名\共有名\kestrel\ のように書きます。$\r$\n$\r$\nこのままにすると、このパソコンだけで使う見本の学校を ${SAMPLEDIR} に作ります。"
  Pop $0
  ${NSD_CreateText} 0 66u 78% 13u "$SharedFolder"
  Pop $SharedField
  ${NSD_CreateBrowseButton} 80% 65u 20% 15u "参照..."
  Pop $0
  ${NSD_OnClick} $0 SharedBrowse
  nsDialogs::Show
FunctionEnd

Function SharedBrowse
  ${NSD_GetText} $SharedField $0
  nsDialogs::SelectFolderDialog "共有フォルダを選んでください（ネットワークの中のフォルダも選べます）。" "$0"
  Pop $0
  ${If} $0 != error
    ${NSD_SetText} $SharedField "$0"
  ${EndIf}
FunctionEnd

Function SharedPageLeave
  ${NSD_GetText} $SharedField $0
  ; what the path file names already stays as it is written
  ${If} $0 == $OldShared
    StrCpy $SharedFolder $0
    StrCpy $SharedGiven 1
    Return
  ${EndIf}
  !insertmacro NormaliseShared $0 $1
  ${If} $1 == ""
    MessageBox MB_ICONEXCLAMATION|MB_OK $R9
    Abort
  ${EndIf}
  ${If} $1 != "${SAMPLEDIR}"
  ${AndIfNot} ${FileExists} "$1*.*"
    MessageBox MB_ICONQUESTION|MB_YESNO "$1 は、いまは見つかりません。このまま進みますか？" IDYES +2
    Abort
  ${EndIf}
  StrCpy $SharedFolder $1
  StrCpy $SharedGiven 1
FunctionEnd

; ---------------------------------------------------------------------------
Section "Kestrel" SecMain
  SectionIn RO
  Call CloseRunningPrograms
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The path file: the folder named now, else the one it names already,
  ; else the sample school.
  Call ReadPathFile
  ${If} $SharedGiven != 1
    ${If} $OldShared != ""
      StrCpy $SharedFolder $OldShared
    ${ElseIf} $Remembered != ""
      StrCpy $SharedFolder $Remembered
      DetailPrint "${PATHFILE}: 前のインストールの共有フォルダ $Remembered を使います。"
    ${Else}
      StrCpy $SharedFolder "${SAMPLEDIR}"
    ${EndIf}
  ${EndIf}
  ${If} $SharedFolder == "${SAMPLEDIR}"
  ${AndIfNot} ${FileExists} "${SAMPLEDIR}*.*"
    SetOutPath "$APPDATA\Kestrel"
    File /r "${SAMPLE}/共有データ"
    ; every user of this PC records runs into it
    nsExec::ExecToLog 'icacls "$APPDATA\Kestrel\共有データ" /grant *S-1-5-32-545:(OI)(CI)M /T /Q'
    Pop $0
  ${EndIf}
  ; a run the shared folder could not take waits here until it can, for
  ; every user of this PC (kept across uninstalls: it may hold runs)
  CreateDirectory "$APPDATA\Kestrel\記録待ち"
  nsExec::ExecToLog 'icacls "$APPDATA\Kestrel\記録待ち" /grant *S-1-5-32-545:(OI)(CI)M /Q'
  Pop $0
  ${If} $SharedFolder != $OldShared
  ${OrIfNot} ${FileExists} "$INSTDIR\${PATHFILE}"
    Call WritePathFile
  ${Else}
    DetailPrint "${PATHFILE}: $SharedFolder（そのまま）"
  ${EndIf}

  SetOutPath "$INSTDIR\Kestrel"
  CreateDirectory "$SMPROGRAMS\Kestrel"
  CreateShortCut "$SMPROGRAMS\Kestrel\Kestrel ${TITLE}.lnk" "$INSTDIR\Kestrel\kestrel.exe"
  ; the setup check prints its report into a console that stays open
  CreateShortCut "$SMPROGRAMS\Kestrel\Kestrel 設定の確認.lnk" "$SYSDIR\cmd.exe" \
    '/k ""$INSTDIR\Kestrel\kestrel-doctor.exe""' "$INSTDIR\Kestrel\kestrel-doctor.exe"

  WriteRegStr HKLM "${SETTINGSKEY}" "InstallDir" "$INSTDIR"
  ; kept by the uninstaller, so that a later installation without /SHARED=
  ; records into the same shared folder, not into a sample school
  WriteRegStr HKLM "${SETTINGSKEY}" "SharedFolder" "$SharedFolder"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "Kestrel ${TITLE}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "Kestrel developers"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\Kestrel\kestrel.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" $0
SectionEnd

!include "server.nsh"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "Kestrel は 64 ビットの Windows で動きます。" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  ReadRegStr $Remembered HKLM "${SETTINGSKEY}" "SharedFolder"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SHARED=" $R1
  ${IfNot} ${Errors}
    !insertmacro NormaliseShared $R1 $SharedFolder
    ${If} $SharedFolder == ""
      MessageBox MB_ICONSTOP|MB_OK "/SHARED=: $R9" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    StrCpy $SharedGiven 1
  ${Else}
    ; the page shows what the path file names now, else what an earlier
    ; installation named
    Call ReadPathFile
    StrCpy $SharedFolder $OldShared
    ${If} $SharedFolder == ""
      StrCpy $SharedFolder $Remembered
    ${EndIf}
  ${EndIf}
  !insertmacro KestrelServerOptions
FunctionEnd

; ---------------------------------------------------------------------------
Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Call un.CloseRunningPrograms
  ; what the installer put there, file by file: a shared folder or a
  ; results log kept below the installation folder stays
  !include "${FILELIST}"
  Delete "$INSTDIR\${PATHFILE}"
  Delete "$INSTDIR\${PATHFILE}.new"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Kestrel\Kestrel ${TITLE}.lnk"
  Delete "$SMPROGRAMS\Kestrel\Kestrel 設定の確認.lnk"
  RMDir "$SMPROGRAMS\Kestrel"

  DeleteRegKey HKLM "${UNINSTKEY}"
  ; the shared folder stays named: a later installation records into it
  DeleteRegValue HKLM "${SETTINGSKEY}" "InstallDir"
SectionEnd
