// The Linux wording of the messages whose table texts are about Windows: the agent starts
// when the user logs in, not "with Windows"; its icon sits in the desktop's panel, opened by
// a click, not in a notification area by a right click; and a question may be a dialog or a
// line on the terminal, so the waiting notice speaks of "the question".
#include "app/messages_system.h"

namespace {

struct SystemRow {
  int id;
  const char* texts[LANGUAGE_COUNT];
};

const SystemRow kLinuxRows[] = {
    {MESSAGE_START_WITH_WINDOWS,
     {
         /* en */      "Start at login",
         /* ja */      "ログイン時に開始",
         /* zh-Hant */ "登入時啟動",
         /* zh-Hans */ "登录时启动",
         /* ko */      "로그인 시 실행",
         /* fr */      "Démarrer à l'ouverture de session",
         /* ru */      "Запускать при входе в систему",
         /* es */      "Iniciar al iniciar sesión",
         /* de */      "Bei der Anmeldung starten",
         /* pt */      "Iniciar ao entrar na sessão",
     }},
    {MESSAGE_INTRO,
     {
         /* en */      "ferrylink is now running in the background. When a device wants to send "
                       "you files, you will be asked to accept. Click its icon in the panel to "
                       "open the menu.",
         /* ja */      "ferrylink は常駐しています。ファイルが届くと、受け取るかどうか確認が表示されま"
                       "す。メニューはパネルのアイコンをクリックすると開きます。",
         /* zh-Hant */ "ferrylink 已在背景執行。有裝置要傳檔給你時，會跳出詢問是否接受；按一下面板上"
                       "的圖示可開啟選單。",
         /* zh-Hans */ "ferrylink 已在后台运行。有设备要给你传文件时，会弹出询问是否接收；单击面板上"
                       "的图标可打开菜单。",
         /* ko */      "ferrylink이 백그라운드에서 실행 중입니다. 기기에서 파일을 보내면 수락 여부를 "
                       "묻습니다. 패널의 아이콘을 클릭하면 메뉴가 열립니다.",
         /* fr */      "ferrylink s'exécute en arrière-plan. Lorsqu'un appareil veut vous envoyer "
                       "des fichiers, une demande d'acceptation s'affiche. Cliquez sur son icône "
                       "dans le panneau pour ouvrir le menu.",
         /* ru */      "ferrylink работает в фоне. Когда устройство захочет отправить вам файлы, "
                       "появится запрос на подтверждение. Щёлкните его значок на панели, чтобы "
                       "открыть меню.",
         /* es */      "ferrylink se está ejecutando en segundo plano. Cuando un dispositivo quiera "
                       "enviarle archivos, se le pedirá que acepte. Haga clic en su icono del "
                       "panel para abrir el menú.",
         /* de */      "ferrylink läuft im Hintergrund. Wenn ein Gerät Ihnen Dateien senden möchte, "
                       "werden Sie um Bestätigung gebeten. Klicken Sie auf sein Symbol in der "
                       "Leiste, um das Menü zu öffnen.",
         /* pt */      "O ferrylink está em execução em segundo plano. Quando um dispositivo quiser "
                       "enviar arquivos, será pedido que você aceite. Clique no ícone dele no "
                       "painel para abrir o menu.",
     }},
    {MESSAGE_PROMPT_WAITING,
     {
         /* en */      "%s wants to send you something. Please answer the question.",
         /* ja */      "%s から送信の要求です。確認の質問に答えてください。",
         /* zh-Hant */ "%s 想傳送內容給你，請回答詢問。",
         /* zh-Hans */ "%s 想发送内容给你，请回答询问。",
         /* ko */      "%s에서 보내려고 합니다. 질문에 답해 주세요.",
         /* fr */      "%s souhaite vous envoyer quelque chose. Répondez à la question.",
         /* ru */      "%s хочет что-то отправить. Ответьте на вопрос.",
         /* es */      "%s quiere enviarte algo. Responde a la pregunta.",
         /* de */      "%s möchte etwas senden. Bitte die Frage beantworten.",
         /* pt */      "%s quer enviar algo. Responda à pergunta.",
     }},
    {MESSAGE_INSTALL_QUESTION,
     {
         /* en */      "Install ferrylink for this user and start it when you log in?\n\nYes: "
                       "install and start at login\nNo: just run it this time\nCancel: exit",
         /* ja */      "このユーザーに ferrylink をインストールし、ログイン時に自動で開始しますか？\n\n"
                       "はい: インストールして自動起動\nいいえ: 今回だけ実行\nキャンセル: 終了",
         /* zh-Hant */ "要為這個使用者安裝 ferrylink，並在登入時自動執行嗎？\n\n是：安裝並在登入時啟動"
                       "\n否：只執行這一次\n取消：結束",
         /* zh-Hans */ "要为此用户安装 ferrylink，并在登录时自动运行吗？\n\n是：安装并在登录时启动\n"
                       "否：仅运行这一次\n取消：退出",
         /* ko */      "이 사용자에게 ferrylink을 설치하고 로그인할 때 자동으로 실행하시겠습니까?\n\n"
                       "예: 설치하고 로그인 시 실행\n아니요: 이번만 실행\n취소: 종료",
         /* fr */      "Installer ferrylink pour cet utilisateur et le lancer à l'ouverture de "
                       "session ?\n\nOui : installer et lancer à l'ouverture de session\nNon : "
                       "exécuter seulement cette fois\nAnnuler : quitter",
         /* ru */      "Установить ferrylink для этого пользователя и запускать при входе в "
                       "систему?\n\nДа: установить и запускать при входе\nНет: запустить только "
                       "сейчас\nОтмена: выйти",
         /* es */      "¿Instalar ferrylink para este usuario e iniciarlo al iniciar sesión?\n\nSí: "
                       "instalar e iniciar al iniciar sesión\nNo: ejecutar solo esta vez\n"
                       "Cancelar: salir",
         /* de */      "ferrylink für diesen Benutzer installieren und bei der Anmeldung starten?"
                       "\n\nJa: installieren und bei der Anmeldung starten\nNein: nur diesmal "
                       "ausführen\nAbbrechen: beenden",
         /* pt */      "Instalar o ferrylink para este usuário e iniciá-lo ao entrar na sessão?\n\n"
                       "Sim: instalar e iniciar ao entrar\nNão: executar só desta vez\nCancelar: "
                       "sair",
     }},
    {MESSAGE_INSTALLED,
     {
         /* en */      "Installed. ferrylink will start when you log in.",
         /* ja */      "インストールしました。ログイン時に自動で開始します。",
         /* zh-Hant */ "已安裝。ferrylink 會在登入時啟動。",
         /* zh-Hans */ "已安装。ferrylink 将在登录时启动。",
         /* ko */      "설치되었습니다. ferrylink이 로그인할 때 시작됩니다.",
         /* fr */      "Installé. ferrylink démarrera à l'ouverture de session.",
         /* ru */      "Установлено. ferrylink будет запускаться при входе в систему.",
         /* es */      "Instalado. ferrylink se iniciará al iniciar sesión.",
         /* de */      "Installiert. ferrylink startet bei der Anmeldung.",
         /* pt */      "Instalado. O ferrylink iniciará ao entrar na sessão.",
     }},
    {MESSAGE_ALREADY_RUNNING,
     {
         /* en */      "ferrylink is already running for this user.",
         /* ja */      "ferrylink はこのユーザーですでに実行中です。",
         /* zh-Hant */ "ferrylink 已為這個使用者執行中。",
         /* zh-Hans */ "ferrylink 已为此用户运行。",
         /* ko */      "ferrylink이 이 사용자로 이미 실행 중입니다.",
         /* fr */      "ferrylink est déjà en cours d'exécution pour cet utilisateur.",
         /* ru */      "ferrylink уже запущен для этого пользователя.",
         /* es */      "ferrylink ya se está ejecutando para este usuario.",
         /* de */      "ferrylink läuft für diesen Benutzer bereits.",
         /* pt */      "O ferrylink já está em execução para este usuário.",
     }},
};

}  // namespace

const char* const* message_system_row(int id) {
  for (const SystemRow& row : kLinuxRows) {
    if (row.id == id) return row.texts;
  }
  return nullptr;
}
